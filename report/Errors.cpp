// Composition of the operating-system failure message and of the failure
// a system call raises.
#include "Errors.h"

#include <utility>

#include "Platform.h"

namespace korvane {

std::string TrimSystemText(std::string systemText) {
  while (!systemText.empty()) {
    const auto last = static_cast<unsigned char>(systemText.back());
    if (last > 32 && last != '.')
      break;
    systemText.pop_back();
  }
  return systemText;
}

std::string SystemErrorMessage(int code, std::string systemText) {
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + TrimSystemText(std::move(systemText));
}

namespace platform {

TOsError SystemError(int code, std::string_view context) {
  std::string message(context);
  if (!message.empty())
    message += ": ";
  message += code == 0 ? std::string(OsFailureWithoutCode) : SystemErrorMessage(code, SystemText(code));
  return TOsError(code, message);
}

} // namespace platform

} // namespace korvane
