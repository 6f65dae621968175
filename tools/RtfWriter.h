// The in-memory report as an RTF document that keeps its styles.
#pragma once

#include <string>

#include "MemoryReportView.h"

namespace korvane {

/// An RTF document with the report's lines, sizes, bold and colours in the
/// report's default font, "MS Sans Serif" 8 point.
std::string ReportToRtf(const TMemoryReportView& view);

} // namespace korvane
