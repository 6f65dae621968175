// The report as lines of 8-bit text with one style per line.
#include "ReportView.h"

namespace korvane {

int TReportView::AddStyledLine(std::string_view text, int size) {
  const int index = AddLine(text);
  FormatLine(index, size, KeepColour, true);
  return index;
}

} // namespace korvane
