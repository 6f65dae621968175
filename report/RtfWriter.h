// The in-memory report as an RTF document that keeps its styles.
#pragma once

#include <string>

#include "MemoryReportView.h"
#include "TabGrid.h"

namespace korvane {

/// An RTF document with the report's lines, sizes, bold and colours in the
/// report's font (ReportFontFace) in the body size, which the line breaks
/// keep. Bytes of 0x80 and above are characters of the ANSI code page codePage.
/// With tabs (positions in twips), every line that holds a TAB stands in a
/// paragraph with the stops the grid gives it; without, the document sets no
/// tab stops.
std::string ReportToRtf(const TMemoryReportView& view, unsigned codePage = 1252, const TTabGrid* tabs = nullptr);

/// Lines First to First + Count - 1 of a report (clipped to its lines).
struct TLineRange {
  int First = 0;
  int Count = 0;
};

/// The lines of a range as an RTF document in the format of ReportToRtf.
/// A range from the first line replaces a rich edit control's content; one
/// from a later line is inserted at the end of the lines before it, which
/// joins into the text, styles and tab stops of the whole report.
std::string ReportLinesToRtf(const TMemoryReportView& view, TLineRange lines, unsigned codePage = 1252,
                             const TTabGrid* tabs = nullptr);

} // namespace korvane
