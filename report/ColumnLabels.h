// The labels the report writes before a TAB-aligned value, with their TABs.
#pragma once

#include <string>
#include <string_view>

#include "ReportStyle.h"

namespace korvane {

/// The value columns of the report: the values of the header summaries, and
/// the names after the ordinals of the export listing.
enum class TValueColumn { HeaderValue, ExportName };

/// A text the report writes at the start of a line, followed by Tabs TAB
/// characters and then the line's value. Size and Bold are the format of the
/// line that carries it.
struct TColumnLabel {
  std::string_view Text;
  int Tabs;
  TValueColumn Column = TValueColumn::HeaderValue;
  int Size = ReportBodySize;
  bool Bold = false;
};

/// The label followed by its TABs: the start of its report line.
std::string LabelLead(const TColumnLabel& label);

} // namespace korvane
