// Number texts of the report: "%u" and "%x" (upper case, no prefix).
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

std::string Decimal(std::uint64_t value);
std::string Hex(std::uint64_t value);

} // namespace korvane
