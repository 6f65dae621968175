// The failure a system call raises, from the code it left behind.
#include <string>

#include "Errors.h"
#include "Platform.h"

namespace korvane::platform {

TOsError SystemError(int code, std::string_view context) {
  std::string message(context);
  if (!message.empty())
    message += ": ";
  message += code == 0 ? std::string(OsFailureWithoutCode) : SystemErrorMessage(code, SystemText(code));
  return TOsError(code, message);
}

} // namespace korvane::platform
