// The in-memory report as an RTF document that keeps its styles.
#pragma once

#include <string>

#include "MemoryReportView.h"

namespace korvane {

/// An RTF document with the report's lines, sizes, bold and colours in the
/// report's default font, "MS Sans Serif" 8 point, which the line breaks
/// keep. Bytes of 0x80 and above are characters of the ANSI code page codePage.
std::string ReportToRtf(const TMemoryReportView& view, unsigned codePage = 1252);

} // namespace korvane
