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

/// What a read names in its failure message: a text as it stands ("an import
/// thunk"), or a field of a record, whose text is composed only when the
/// read fails. It refers to the record's name: it lives for one call.
class TReadName {
public:
  TReadName(const char* text) : FText(text) {}
  TReadName(std::string_view text) : FText(text) {}
  TReadName(const TRecordName& record, std::string_view field) : FRecord(&record), FText(field) {}

  std::string Text() const { return FRecord != nullptr ? FRecord->FieldText(FText) : std::string(FText); }

private:
  const TRecordName* FRecord = nullptr;
  std::string_view FText;
};

} // namespace korvane
