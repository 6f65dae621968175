// The rows of a header summary.
#include "SummaryRows.h"

#include <string>

#include "Numbers.h"

namespace korvane {

TSummaryRows::TSummaryRows(TReportView& view, TReportValues& values, std::string_view record)
    : FView(view), FValues(values) {
  FValues.Header(record);
}

void TSummaryRows::AddLine(const TColumnLabel& label, std::string_view text) {
  FView.AddLine(LabelLead(label).append(text));
}

void TSummaryRows::Decimal(const TColumnLabel& label, TNamedValue value, std::string_view unit) {
  AddLine(label, korvane::Decimal(value.Value).append(unit));
  FValues.Number(value.Name, value.Value);
}

void TSummaryRows::Hex(const TColumnLabel& label, TNamedValue value) { Hex(label, value.Value, {value}); }

void TSummaryRows::Hex(const TColumnLabel& label, std::uint64_t shown, std::initializer_list<TNamedValue> parts) {
  AddLine(label, korvane::Hex(shown) + "H");
  for (const TNamedValue& part : parts)
    FValues.Number(part.Name, part.Value);
}

void TSummaryRows::Version(const TColumnLabel& label, TNamedValue major, TNamedValue minor) {
  AddLine(label, korvane::Decimal(major.Value) + "." + korvane::Decimal(minor.Value));
  FValues.Number(major.Name, major.Value);
  FValues.Number(minor.Name, minor.Value);
}

void TSummaryRows::Words(const TColumnLabel& label, TNamedValue value, std::string_view wordsName,
                         std::string_view words) {
  AddLine(label, words);
  FValues.Number(value.Name, value.Value);
  if (!words.empty())
    FValues.Words(wordsName, words);
}

void TSummaryRows::WordList(const TColumnLabel& label, TNamedValue value, std::string_view wordsName,
                            std::span<const std::string_view> phrases, const TColumnLabel& continued) {
  std::string text;
  for (const std::string_view phrase : phrases) {
    if (!text.empty())
      text.append("\n").append(LabelLead(continued));
    text.append(phrase);
  }
  AddLine(label, text);
  FValues.Number(value.Name, value.Value);
  FValues.WordList(wordsName, phrases);
}

} // namespace korvane
