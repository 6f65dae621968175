// RTF into a rich edit control in one EM_STREAMIN.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

namespace korvane::viewer {

/// The RTF text into a rich edit control with one EM_STREAMIN, replacing its
/// content (or, with SFF_SELECTION in flags, the selection). Returns false
/// when the control reports an error or does not take the whole document:
/// the control stops reading at the document's closing brace, so what it
/// leaves unread after that brace (the final line break) counts as taken.
bool StreamRtf(HWND edit, const std::string& rtf, UINT flags = SF_RTF);

} // namespace korvane::viewer
