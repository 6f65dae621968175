// korvane-demo-host: a minimal file-manager-like host of korvane.dll. It loads the
// module from beside itself, takes over the viewer's menu, tool bar and
// shortcuts, forwards their commands to the viewer, routes keyboard input to
// the viewer's Find dialog while it is open, names the shown file and its
// kind in its title and closes when the viewer's Exit asks it to.
//   korvane-demo-host [--ready MARKER] [--find TEXT] [FILE]
// --ready writes the rectangle of the menu bar and client area ("left top
// width height") into MARKER once the file is shown and painted (for
// screenshots). --find opens the Find dialog over the report and finds the
// first TEXT in it, as F7 and Find Next would.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "korvane/KorvaneHost.h"

namespace {

constexpr const char* HostClassName = "TKorvaneDemoHost";
constexpr const char* HostTitle = "Korvane host";

struct THost {
  HMODULE Module = nullptr;
  korvane::TCreateViewerWindow CreateViewerWindow = nullptr;
  korvane::TShowFile ShowFile = nullptr;
  korvane::TDestroyViewerWindow DestroyViewerWindow = nullptr;
  korvane::TGetLastErrorText GetLastErrorText = nullptr;
  HWND Window = nullptr;
  HWND Viewer = nullptr;
  HMENU Menu = nullptr;
  HWND ToolBar = nullptr;
  HACCEL Accelerators = nullptr;
  // The viewer's Find dialog while WM_VIEWER_DIALOG says it is open.
  HWND FindDialog = nullptr;
};

THost Host;

std::string LastError() {
  char text[1024] = {};
  Host.GetLastErrorText(text, sizeof text);
  return text;
}

void Layout(int width, int height) {
  int top = 0;
  if (Host.ToolBar != nullptr) {
    RECT bar{};
    ::GetWindowRect(Host.ToolBar, &bar);
    top = bar.bottom - bar.top;
    ::SetWindowPos(Host.ToolBar, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The viewer sizes its tool bar to its own width.
  if (Host.Viewer != nullptr)
    ::MoveWindow(Host.Viewer, 0, top, width, height > top ? height - top : 0, TRUE);
}

// "name - kind", the file's name without its folder.
void SetTitle(const char* fileName, const char* kindText) {
  std::string name = fileName;
  name.erase(0, name.find_last_of("\\/:") + 1);
  const std::string title = name + " - " + kindText;
  ::SetWindowTextA(Host.Window, title.c_str());
}

void ReleaseViewer() {
  // The menu belongs to the viewer: detach it before the viewer goes.
  ::SetMenu(Host.Window, nullptr);
  if (Host.Viewer != nullptr)
    Host.DestroyViewerWindow(Host.Viewer);
  Host.Viewer = nullptr;
  Host.ToolBar = nullptr;
  Host.FindDialog = nullptr; // destroyed with the viewer
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_SIZE:
    Layout(LOWORD(lParam), HIWORD(lParam));
    return 0;
  case WM_COMMAND:
    // Menu choices and translated shortcuts run in the viewer.
    if (Host.Viewer != nullptr)
      ::SendMessageA(Host.Viewer, WM_COMMAND, wParam, lParam);
    return 0;
  case WM_SETFOCUS:
    if (Host.Viewer != nullptr)
      ::SetFocus(Host.Viewer);
    return 0;
  case WM_VIEWER_FILEOPENED: {
    // The record and its texts are the viewer's and live only until we return.
    const auto* info = reinterpret_cast<const ViewerFileInfo*>(lParam);
    if (info != nullptr && info->fileName != nullptr && info->kindText != nullptr)
      SetTitle(info->fileName, info->kindText);
    return 0;
  }
  case WM_VIEWER_CLOSE:
    ReleaseViewer();
    ::DestroyWindow(window);
    return 0;
  case WM_VIEWER_DIALOG:
    Host.FindDialog = wParam != 0 ? reinterpret_cast<HWND>(lParam) : nullptr;
    return 0;
  case WM_DESTROY:
    ReleaseViewer();
    if (Host.Accelerators != nullptr)
      ::DestroyAcceleratorTable(Host.Accelerators);
    Host.Accelerators = nullptr;
    ::PostQuitMessage(0);
    return 0;
  default:
    return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

bool LoadViewerModule() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of("\\/") + 1);
  Host.Module = ::LoadLibraryA((folder + "korvane.dll").c_str());
  if (Host.Module == nullptr)
    return false;
  Host.CreateViewerWindow = korvane::ProcAddress<korvane::TCreateViewerWindow>(Host.Module, "CreateViewerWindow");
  Host.ShowFile = korvane::ProcAddress<korvane::TShowFile>(Host.Module, "ShowFile");
  Host.DestroyViewerWindow = korvane::ProcAddress<korvane::TDestroyViewerWindow>(Host.Module, "DestroyViewerWindow");
  Host.GetLastErrorText = korvane::ProcAddress<korvane::TGetLastErrorText>(Host.Module, "GetLastErrorText");
  return Host.CreateViewerWindow != nullptr && Host.ShowFile != nullptr && Host.DestroyViewerWindow != nullptr &&
         Host.GetLastErrorText != nullptr;
}

// F7 through the accelerator table, then the text and Find Next in the
// dialog, as a user would.
void FindFirst(const char* text) {
  MSG key{Host.Window, WM_KEYDOWN, VK_F7, 0x00410001, 0, {}};
  if (Host.Accelerators == nullptr || !::TranslateAcceleratorA(Host.Window, Host.Accelerators, &key) ||
      Host.FindDialog == nullptr)
    return;
  constexpr int FindWhatControl = 0x480; // edt1 of the find dialog template
  ::SetDlgItemTextA(Host.FindDialog, FindWhatControl, text);
  ::SendMessageA(Host.FindDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  // Over the lower right of the report, where it hides the least.
  RECT host{};
  RECT dialog{};
  ::GetWindowRect(Host.Window, &host);
  ::GetWindowRect(Host.FindDialog, &dialog);
  const int width = dialog.right - dialog.left;
  const int height = dialog.bottom - dialog.top;
  ::SetWindowPos(Host.FindDialog, HWND_TOP, host.right - width - 16, host.bottom - height - 16, 0, 0, SWP_NOSIZE);
}

} // namespace

int main(int argc, char** argv) {
  const char* fileName = nullptr;
  const char* readyMarker = nullptr;
  const char* findText = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--ready") == 0 && i + 1 < argc)
      readyMarker = argv[++i];
    else if (std::strcmp(argv[i], "--find") == 0 && i + 1 < argc)
      findText = argv[++i];
    else
      fileName = argv[i];
  }
  if (!LoadViewerModule()) {
    ::MessageBoxA(nullptr, "korvane.dll cannot be loaded from beside korvane-demo-host.exe", HostTitle,
                  MB_OK | MB_ICONERROR);
    return 1;
  }
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = HostProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = HostClassName;
  ::RegisterClassExA(&windowClass);
  Host.Window = ::CreateWindowExA(0, HostClassName, HostTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, 760, 560,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
  Host.Viewer =
      Host.CreateViewerWindow(Host.Window, Host.Window, 0, TRUE, &Host.Menu, &Host.ToolBar, &Host.Accelerators);
  if (Host.Viewer == nullptr) {
    ::MessageBoxA(Host.Window, LastError().c_str(), HostTitle, MB_OK | MB_ICONERROR);
    ::DestroyWindow(Host.Window);
    return 1;
  }
  ::SetMenu(Host.Window, Host.Menu);
  RECT client{};
  ::GetClientRect(Host.Window, &client);
  Layout(client.right, client.bottom);
  ::ShowWindow(Host.Window, SW_SHOW);
  if (fileName != nullptr) {
    char kind[KORVANE_KIND_TEXT_CAPACITY] = {};
    if (Host.ShowFile(Host.Viewer, fileName, kind))
      SetTitle(fileName, kind);
    else
      ::MessageBoxA(Host.Window, LastError().c_str(), HostTitle, MB_OK | MB_ICONERROR);
  }
  if (findText != nullptr)
    FindFirst(findText);
  ::UpdateWindow(Host.Window);
  ::RedrawWindow(Host.Window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  if (Host.FindDialog != nullptr)
    ::RedrawWindow(Host.FindDialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  if (readyMarker != nullptr) {
    // The client area and the menu bar above it, in screen coordinates.
    RECT frame{};
    ::GetClientRect(Host.Window, &frame);
    ::MapWindowPoints(Host.Window, nullptr, reinterpret_cast<POINT*>(&frame), 2);
    frame.top -= ::GetSystemMetrics(SM_CYMENU);
    if (FILE* marker = std::fopen(readyMarker, "w")) {
      std::fprintf(marker, "%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
                   frame.bottom - frame.top);
      std::fclose(marker);
    }
  }

  MSG message{};
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    // The dialog's own keys (Tab, Enter, Esc) before the viewer's shortcuts.
    if (Host.FindDialog != nullptr && ::IsDialogMessageA(Host.FindDialog, &message))
      continue;
    if (Host.Accelerators != nullptr && ::TranslateAcceleratorA(Host.Window, Host.Accelerators, &message))
      continue;
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  ::FreeLibrary(Host.Module);
  return 0;
}
