// The rows of a header summary: each a line of the report and the same
// values as data.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "ColumnLabels.h"
#include "Field.h"
#include "ReportValues.h"
#include "ReportView.h"

namespace korvane {

/// A value read from a header, with the name of the field it was read by.
struct TNamedValue {
  std::string_view Name;
  std::uint64_t Value;
};

/// The value of field as read, under the field's name.
template <typename Value>
TNamedValue Named(TField<Value> field, Value value) {
  return {field.Name, value};
}

/// Writes the rows of one header summary. A row's line is its label, the
/// label's TABs and the value's text; its data are the values by name and,
/// where the line shows words for a value, the words.
class TSummaryRows {
public:
  /// Begins the summary of the record named record.
  TSummaryRows(TReportView& view, TReportValues& values, std::string_view record);

  /// The value in decimal, then unit (" bytes").
  void Decimal(const TColumnLabel& label, TNamedValue value, std::string_view unit = {});
  /// The value in hexadecimal followed by "H".
  void Hex(const TColumnLabel& label, TNamedValue value);
  /// shown in hexadecimal followed by "H", a value made of parts: the data
  /// name the parts.
  void Hex(const TColumnLabel& label, std::uint64_t shown, std::initializer_list<TNamedValue> parts);
  /// "major.minor".
  void Version(const TColumnLabel& label, TNamedValue major, TNamedValue minor);
  /// The words for the value, named wordsName among the data; a value
  /// without words gives an empty line value and no words.
  void Words(const TColumnLabel& label, TNamedValue value, std::string_view wordsName, std::string_view words);
  /// The phrases for the value, the first after the label and each further
  /// one on a line of its own after continued.
  void WordList(const TColumnLabel& label, TNamedValue value, std::string_view wordsName,
                std::span<const std::string_view> phrases, const TColumnLabel& continued);

private:
  void AddLine(const TColumnLabel& label, std::string_view text);

  TReportView& FView;
  TReportValues& FValues;
};

} // namespace korvane
