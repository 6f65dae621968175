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

/// What every read names in its failure message: a text as it stands ("an
/// import thunk"), or one in parts ("the DOS header field ", "e_lfanew"),
/// joined only when the read fails. It refers to the texts of its parts: it
/// lives for one call.
class TReadName {
public:
  TReadName(const char* text) : FParts{text} {}
  TReadName(std::string_view text) : FParts{text} {}
  TReadName(std::string_view lead, std::string_view middle, std::string_view tail = {}) : FParts{lead, middle, tail} {}

  std::string Text() const {
    std::string text(FParts[0]);
    text.append(FParts[1]).append(FParts[2]);
    return text;
  }

private:
  std::string_view FParts[3];
};

/// How a failure message names the fields of one record as a reader sees
/// it: Lead, the field's name, then Tail ("the DOS header field e_lfanew",
/// "section header 2 (VirtualSize)").
struct TRecordName {
  std::string_view Lead;
  std::string_view Tail = {};

  TReadName Field(std::string_view field) const { return {Lead, field, Tail}; }
};

} // namespace korvane
