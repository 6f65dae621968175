// RTF into a rich edit control in one EM_STREAMIN.
#include "StreamRtf.h"

#include <algorithm>
#include <cstring>

namespace korvane::viewer {

namespace {

struct TStreamSource {
  const std::string* Text;
  std::size_t Offset;
};

// Runs inside the control; copies the next piece and never throws.
DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) noexcept {
  auto* source = reinterpret_cast<TStreamSource*>(cookie);
  const std::size_t left = source->Text->size() - source->Offset;
  // A control that asks for nothing, or for less than nothing, gets nothing.
  const std::size_t count = wanted > 0 ? std::min(static_cast<std::size_t>(wanted), left) : 0;
  std::memcpy(buffer, source->Text->data() + source->Offset, count);
  source->Offset += count;
  *given = static_cast<LONG>(count);
  return 0;
}

} // namespace

bool StreamRtf(HWND edit, const std::string& rtf, UINT flags) {
  TStreamSource source{&rtf, 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadRtf;
  ::SendMessageA(edit, EM_STREAMIN, flags, reinterpret_cast<LPARAM>(&stream));
  if (stream.dwError != 0)
    return false;
  // Once it has read the closing brace the control asks for no more: when
  // its last read ended at that brace, the line break after it stays unread.
  const std::size_t closing = rtf.find_last_of('}');
  const std::size_t whole = closing == std::string::npos ? rtf.size() : closing + 1;
  return source.Offset >= whole;
}

} // namespace korvane::viewer
