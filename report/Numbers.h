// Number texts of the report: "%u", "%x" (upper case, no prefix) and "%.4d".
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

std::string Decimal(std::uint64_t value);
std::string Hex(std::uint64_t value);
/// Decimal with at least four digits, zero-padded.
std::string Decimal4(std::uint32_t value);

} // namespace korvane
