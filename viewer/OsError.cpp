#include "OsError.h"

#include <windows.h>

#include "Platform.h"

namespace korvane::viewer {

TOsError LastOsError(const std::string& what) {
  const DWORD code = ::GetLastError();
  if (code == 0)
    return TOsError(0, what + ": " + OsFailureWithoutCode);
  const auto number = static_cast<int>(code);
  return TOsError(number, what + ": " + SystemErrorMessage(number, platform::SystemText(number)));
}

} // namespace korvane::viewer
