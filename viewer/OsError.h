// Failures of Win32 calls made by the viewer.
#pragma once

#include <string>

#include "Errors.h"

namespace korvane::viewer {

/// The failure of the call that just failed: what, then the system's words
/// for GetLastError's code.
TOsError LastOsError(const std::string& what);

/// The handle a Win32 call returned; its null raises the call's failure.
template <typename Handle>
Handle Checked(Handle handle, const char* what) {
  if (handle == nullptr)
    throw LastOsError(what);
  return handle;
}

} // namespace korvane::viewer
