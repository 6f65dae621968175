// Printing of the report: one job, named like the report's first line, on
// the printer's whole printable area.
#pragma once

#include <windows.h>

#include <string>

#include "MemoryReportView.h"

namespace korvane::viewer {

/// Prints the report shown by the rich edit control edit as one job named
/// title, page after page as the control lays the pages out. A control that
/// lays out nothing of a report that is not empty (Wine's EM_FORMATRANGE
/// draws nothing and reports no progress) would give blank paper: the report
/// is then printed in the same job from content, the lines and styles the
/// control was given.
void PrintReport(HWND edit, HDC printer, const std::string& title, const TMemoryReportView& content);

/// Draws the lines of content on pages of printer inside a started job:
/// each line in its size, weight and colour in the report font, TABs at the
/// control's default stops, a line wider than the page continued on the next
/// row, a new page when the next row does not fit. At least one page, also
/// for an empty report. Returns the number of pages.
int PrintReportLines(HDC printer, const TMemoryReportView& content);

} // namespace korvane::viewer
