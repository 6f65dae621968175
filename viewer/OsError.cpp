#include "OsError.h"

#include <windows.h>

namespace korvane::viewer {

TOsError LastOsError(const std::string& what) {
  const DWORD code = ::GetLastError();
  if (code == 0)
    return TOsError(0, what + ": " + OsFailureWithoutCode);
  char buffer[256];
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        code, 0, buffer, sizeof buffer, nullptr);
  return TOsError(static_cast<int>(code),
                  what + ": " + SystemErrorMessage(static_cast<int>(code), std::string(buffer, length)));
}

} // namespace korvane::viewer
