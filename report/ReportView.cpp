// The report as lines of 8-bit text with one style per line.
#include "ReportView.h"

#include "LineBreaks.h"

namespace korvane {

int TReportView::AddStyledLine(std::string_view text, int size) {
  const int index = AddLine(text);
  FormatLine(index, size, ColourUnchanged, true);
  return index;
}

int TNullReportView::AddLine(std::string_view text) {
  const int first = FLines;
  FLines += 1 + static_cast<int>(CountLineBreaks(text));
  return first;
}

void TNullReportView::SetText(std::string_view text) {
  Clear();
  AddLine(text);
}

} // namespace korvane
