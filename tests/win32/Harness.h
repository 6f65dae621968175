// What both Windows test programs need to be a host of korvane.dll: the
// module loaded as a host loads it, a host window, a message pump with a
// deadline and the viewer's menu read back.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "korvane/KorvaneHost.h"

namespace korvane::test {

/// korvane.dll from the test program's own folder, with its four exports.
struct TModule {
  HMODULE Handle = nullptr;
  TCreateViewerWindow CreateViewerWindow = nullptr;
  TShowFile ShowFile = nullptr;
  TDestroyViewerWindow DestroyViewerWindow = nullptr;
  TGetLastErrorText GetLastErrorText = nullptr;
};

/// Loaded once per process.
const TModule& Module();
/// The folder of the test program, with its final separator.
std::string ExeFolder();
std::string ModulePath();
/// GetLastErrorText into a generous buffer.
std::string LastErrorText();

/// A visible top-level window of its own class. Wine maps a new top-level
/// window slowly on a display without a window manager: make one per process.
HWND CreateHostWindow(const char* className, const char* title, WNDPROC procedure);

/// Runs the messages already queued for this thread.
void PumpPending();
/// Runs the thread's queued messages until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

/// The text of a menu item at a position.
std::string MenuText(HMENU menu, UINT position);
/// The command id of the item with this text in any popup of the menu, or 0.
WORD MenuCommand(HMENU menu, const std::string& text);

} // namespace korvane::test
