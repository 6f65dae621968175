// The module's stand-in for an application object: the host's main window,
// the application's title and the box that shows a failed command.
#pragma once

#include <windows.h>

#include <string>

namespace korvane::viewer {

/// The host's main window, given by the last CreateViewerWindow.
void SetMainWindow(HWND window);
HWND MainWindow();

/// The host program's file name without its folder, up to its first
/// ".", every character after the first in lower case ("Korvane-host").
std::string ApplicationTitle();

/// The message with a "." appended unless it is empty or its last
/// character is "." or sorts before it.
std::string ErrorBoxText(const std::string& message);

/// The failure of a command in a modal box with OK and the error icon over
/// the owner; the thread's other windows are disabled meanwhile and the
/// active window and the focus are restored afterwards.
void ShowErrorBox(HWND owner, const std::string& message);

/// Our text for a failure that carries no message of its own.
inline constexpr const char* UnknownFailureMessage = "An unexpected failure occurred in korvane.dll";
/// A command that ran out of memory.
inline constexpr const char* NoMemoryMessage = "There is not enough memory to carry out this command";

/// The module's own instance handle.
HINSTANCE ModuleInstance();

} // namespace korvane::viewer
