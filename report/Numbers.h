// Number texts of the report: "%u" and "%x" (upper case, no prefix), RVAs
// in messages, and texts from the file as the report shows them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

std::string Decimal(std::uint64_t value);
std::string Hex(std::uint64_t value);

/// A number in hexadecimal with the report's "H" suffix, for messages.
std::string RvaText(std::uint64_t rva);

/// A text read from the image as the report shows it: each line feed becomes
/// the two characters "\n" and each carriage return "\r", so that no name from
/// a file can start a report line of its own.
void AppendShownText(std::string& line, std::string_view text);

} // namespace korvane
