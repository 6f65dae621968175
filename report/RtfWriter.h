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

} // namespace korvane
