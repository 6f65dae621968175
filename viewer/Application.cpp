// The host's main window, the application title and the error box.
#include "Application.h"

#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace korvane::viewer {

namespace {

HWND TheMainWindow = nullptr;

struct TDisabledWindows {
  HWND Keep;
  std::vector<HWND> Windows;
};

// Called by user32: nothing may unwind through it.
BOOL CALLBACK DisableWindow(HWND window, LPARAM context) noexcept {
  auto* state = reinterpret_cast<TDisabledWindows*>(context);
  if (window != state->Keep && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
    try {
      state->Windows.push_back(window);
    } catch (...) {
      // Without room to remember it the window is not disabled, nor are the
      // rest: each disabled window must be enabled again.
      return FALSE;
    }
    ::EnableWindow(window, FALSE);
  }
  return TRUE;
}

} // namespace

HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

void SetMainWindow(HWND window) { TheMainWindow = window; }

HWND MainWindow() { return TheMainWindow; }

std::string ApplicationTitle() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string title(path, length < MAX_PATH ? length : MAX_PATH);
  const std::size_t slash = title.find_last_of("\\:");
  if (slash != std::string::npos)
    title.erase(0, slash + 1);
  const std::size_t dot = title.find('.');
  if (dot != std::string::npos)
    title.erase(dot);
  if (title.size() > 1)
    ::CharLowerBuffA(title.data() + 1, static_cast<DWORD>(title.size() - 1));
  return title;
}

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
    return message + ".";
  return message;
}

void ShowErrorBox(HWND owner, const std::string& message) {
  if (HWND capture = ::GetCapture())
    ::SendMessageA(capture, WM_CANCELMODE, 0, 0);
  const HWND active = ::GetActiveWindow();
  const HWND focus = ::GetFocus();
  TDisabledWindows disabled{owner, {}};
  ::EnumThreadWindows(::GetCurrentThreadId(), DisableWindow, reinterpret_cast<LPARAM>(&disabled));
  const std::string text = ErrorBoxText(message);
  const std::string caption = ApplicationTitle();
  ::MessageBoxA(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
  for (HWND window : disabled.Windows)
    if (::IsWindow(window))
      ::EnableWindow(window, TRUE);
  if (active != nullptr && ::IsWindow(active))
    ::SetActiveWindow(active);
  if (focus != nullptr && ::IsWindow(focus))
    ::SetFocus(focus);
}

} // namespace korvane::viewer
