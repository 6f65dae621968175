// Failures of Win32 calls made by the viewer: GetLastError's code in the
// engine's TOsError.
#include "OsError.h"

#include <windows.h>

#include "Platform.h"

namespace korvane::viewer {

TOsError LastOsError(const std::string& what) {
  return platform::SystemError(static_cast<int>(::GetLastError()), what);
}

} // namespace korvane::viewer
