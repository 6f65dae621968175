// A field of an on-disk record: where it lies in the record, how wide it is
// and its name as the format spells it, which failure messages quote.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

/// A little-endian field of sizeof(Value) bytes at Offset in its record.
template <typename Value>
struct TField {
  std::uint64_t Offset;
  std::string_view Name;
};

/// How a failure message names the fields of one record as a reader sees
/// it: Lead, the field's name, then Tail ("the DOS header field e_lfanew",
/// "section header 2 (VirtualSize)").
struct TRecordName {
  std::string_view Lead;
  std::string_view Tail = {};

  std::string FieldText(std::string_view field) const {
    std::string text(Lead);
    text.append(field).append(Tail);
    return text;
  }
};

} // namespace korvane
