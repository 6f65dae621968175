// Loading a library of the Windows system folder by its file name.
#pragma once

#include <windows.h>

namespace korvane::viewer {

/// The library fileName from the system folder and its dependencies from
/// there too, never a file of that name beside the host or on the PATH.
/// nullptr with GetLastError's code when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* fileName) noexcept;

} // namespace korvane::viewer
