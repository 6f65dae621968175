// The report font and the tab grid of the report's labels, measured on the
// screen's control or on a printer.
#pragma once

#include <windows.h>

#include "Handles.h"
#include "TabGrid.h"

namespace korvane::viewer {

/// Rich edit positions and tab stops are in twips, 1,440 to the inch.
inline constexpr int TwipsPerInch = 1440;

/// The report font in size points and the weight bold, for a device of dpiY
/// pixels per inch vertically, as the rich edit control makes it.
TFont CreateReportFont(int size, bool bold, int dpiY);

/// The tab grid of the report's labels in dc's pixels: each label measured
/// in the report font in its line's size and weight, a space of the body
/// text between a label and its value.
TTabGrid MeasureReportTabGrid(HDC dc);

/// The tab grid of the report's labels as the empty control edit draws
/// them, in twips; the control is left empty.
TTabGrid ScreenTabGrid(HWND edit);

} // namespace korvane::viewer
