// Number texts of the report.
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

} // namespace korvane
