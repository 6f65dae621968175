// Composition of the operating-system failure message.
#include "Errors.h"

#include <utility>

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

} // namespace korvane
