// Composition of the operating-system failure message.
#include "Errors.h"

namespace korvane {

std::string SystemErrorMessage(int code, std::string systemText) {
  while (!systemText.empty()) {
    const auto last = static_cast<unsigned char>(systemText.back());
    if (last > 32 && last != '.')
      break;
    systemText.pop_back();
  }
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + systemText;
}

} // namespace korvane
