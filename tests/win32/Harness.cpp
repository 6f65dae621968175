#include "Harness.h"

namespace korvane::test {

std::string ExeFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string ModulePath() { return ExeFolder() + "korvane.dll"; }

const TModule& Module() {
  static const TModule module = [] {
    TModule loaded;
    loaded.Handle = ::LoadLibraryA(ModulePath().c_str());
    if (loaded.Handle == nullptr)
      return loaded;
    loaded.CreateViewerWindow = ProcAddress<TCreateViewerWindow>(loaded.Handle, "CreateViewerWindow");
    loaded.ShowFile = ProcAddress<TShowFile>(loaded.Handle, "ShowFile");
    loaded.DestroyViewerWindow = ProcAddress<TDestroyViewerWindow>(loaded.Handle, "DestroyViewerWindow");
    loaded.GetLastErrorText = ProcAddress<TGetLastErrorText>(loaded.Handle, "GetLastErrorText");
    return loaded;
  }();
  return module;
}

std::string LastErrorText() {
  char text[2048] = {};
  Module().GetLastErrorText(text, sizeof text);
  return text;
}

HWND CreateHostWindow(const char* className, const char* title, WNDPROC procedure) {
  WNDCLASSEXA host{};
  host.cbSize = sizeof host;
  host.lpfnWndProc = procedure;
  host.hInstance = ::GetModuleHandleA(nullptr);
  host.lpszClassName = className;
  ::RegisterClassExA(&host);
  return ::CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 500, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

void PumpPending() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    PumpPending();
    if (done())
      return true;
    if (std::chrono::steady_clock::now() >= end)
      return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

std::string MenuText(HMENU menu, UINT position) {
  char text[256] = {};
  ::GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
  return text;
}

WORD MenuCommand(HMENU menu, const std::string& text) {
  for (int top = 0; top < ::GetMenuItemCount(menu); ++top) {
    HMENU popup = ::GetSubMenu(menu, top);
    for (int i = 0; i < ::GetMenuItemCount(popup); ++i)
      if (MenuText(popup, static_cast<UINT>(i)) == text)
        return static_cast<WORD>(::GetMenuItemID(popup, i));
  }
  return 0;
}

} // namespace korvane::test
