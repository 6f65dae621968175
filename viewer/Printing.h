// Printing of the report: one job, named like the report's first line, on
// the printer's whole printable area.
#pragma once

#include <windows.h>

#include <string>

#include "MemoryReportView.h"
#include "ReportFill.h"

namespace korvane::viewer {

/// Prints the report of fill as one job named title, page after page as its
/// control lays the pages out, with the tab grid fitted to the printer's
/// font and resolution (the screen's grid is put back afterwards). A control
/// that lays out nothing of a report that is not empty (Wine's
/// EM_FORMATRANGE draws nothing and reports no progress) would give blank
/// paper: the report is then printed in the same job from the lines and
/// styles the control was given.
void PrintReport(TReportFill& fill, HDC printer, const std::string& title);

/// Draws the lines of content on pages of printer inside a started job:
/// each line in its size, weight and colour in the report font, TABs at the
/// stops of the report's tab grid for the printer, a line wider than the
/// page continued on the next row, a new page when the next row does not
/// fit. At least one page, also for an empty report. Returns the number of
/// pages.
int PrintReportLines(HDC printer, const TMemoryReportView& content);

} // namespace korvane::viewer
