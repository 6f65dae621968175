// What a host of korvane.dll needs: the exported functions' types, the
// messages the viewer sends to the host window and the record they carry.
#pragma once

#include <windows.h>

namespace korvane {

using TCreateViewerWindow = HWND(__stdcall*)(HWND hostWindow, HWND parentWindow, DWORD reserved, BOOL withUi,
                                              HMENU* menuOut, HWND* toolBarOut, HACCEL* acceleratorsOut);
using TShowFile = BOOL(__stdcall*)(HWND viewerWindow, const char* fileName, char* kindOut);
using TDestroyViewerWindow = void(__stdcall*)(HWND viewerWindow);
using TGetLastErrorText = void(__stdcall*)(char* buffer, int maxLength);

/// The export of the loaded module as the function type F; nullptr when missing.
template <typename F>
F ProcAddress(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

/// Sent after the Open command has built the report; lParam is a TViewerFileInfo*.
inline constexpr UINT WM_VIEWER_FILEOPENED = 0x8065;
/// Posted by the Exit command; the host destroys the viewer when it likes.
inline constexpr UINT WM_VIEWER_CLOSE = 0x8066;
/// Sent when the Find dialog is shown (wParam 1, lParam its window) or closed (0, 0).
inline constexpr UINT WM_VIEWER_DIALOG = 0x8067;

/// Valid only while the host handles WM_VIEWER_FILEOPENED.
struct TViewerFileInfo {
  const char* FileName;
  const char* KindText;
};

/// The kind buffer that ShowFile fills needs this many bytes.
inline constexpr int KindTextCapacity = 20;

} // namespace korvane
