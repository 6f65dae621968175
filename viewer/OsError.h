// Failures of Win32 calls made by the viewer.
#pragma once

#include <string>

#include "Errors.h"

namespace korvane::viewer {

/// The failure of the call that just failed: what, then the system's words
/// for GetLastError's code.
TOsError LastOsError(const std::string& what);

} // namespace korvane::viewer
