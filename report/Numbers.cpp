// Number texts of the report, and texts from the file as it shows them.
#include "Numbers.h"

namespace korvane {

std::string Decimal(std::uint64_t value) { return std::to_string(value); }

std::string Hex(std::uint64_t value) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  char buffer[16];
  int length = 0;
  do {
    buffer[length++] = Digits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  std::string text;
  while (length > 0)
    text += buffer[--length];
  return text;
}

std::string RvaText(std::uint64_t rva) { return Hex(rva) + "H"; }

void AppendShownText(std::string& line, std::string_view text) {
  if (text.find('\n') == std::string_view::npos && text.find('\r') == std::string_view::npos) {
    line.append(text);
    return;
  }
  for (const char c : text) {
    if (c == '\n')
      line.append("\\n");
    else if (c == '\r')
      line.append("\\r");
    else
      line += c;
  }
}

} // namespace korvane
