// The module-wide text of the last failure that an entry point caught.
#include "LastErrorText.h"

#include <cstring>

namespace korvane::plugin {

std::string& LastErrorText() {
  static std::string text;
  return text;
}

void CopyLastErrorText(char* buffer, int maxLength) {
  if (buffer == nullptr || maxLength < 1)
    return;
  const std::string& text = LastErrorText();
  const std::size_t count =
      text.size() < static_cast<std::size_t>(maxLength - 1) ? text.size() : static_cast<std::size_t>(maxLength - 1);
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
}

} // namespace korvane::plugin
