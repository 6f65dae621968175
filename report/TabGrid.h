// The tab stops that line the report's values up in columns, fitted to the
// widths of its labels in the font that shows them.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "ColumnLabels.h"

namespace korvane {

/// Stops in one paragraph format at most (Rich Edit's MAX_TAB_STOPS).
inline constexpr int MaxTabStops = 32;

/// A label as a device draws it: its width (in the device's unit) and the
/// TABs the report writes after it.
struct TMeasuredLabel {
  int Width;
  int Tabs;
  TValueColumn Column = TValueColumn::HeaderValue;
};

/// Tab stops for the report's lines, as positions from the start of a line.
class TTabGrid {
public:
  /// The narrowest evenly spaced grid on which every label, followed by its
  /// TABs, ends on the value column of its kind, with at least gap between
  /// a label and its value. The value column of a kind is the stop its
  /// labels with the most TABs reach from an empty start. When no such grid
  /// exists, each line gets stops by the TABs of its first TAB run: as many
  /// stops as it has TABs, one unit apart, the last one at the widest label
  /// plus gap, so that the values still stand in one column; lines of one
  /// TAB have a stop before that at the widest export lead plus gap, for the
  /// export names, where every header label of one TAB lies past it.
  static TTabGrid Fit(std::span<const TMeasuredLabel> labels, int gap);

  /// True for an evenly spaced grid, the same for every line.
  bool Even() const { return FSpacing > 0; }
  /// The distance between the stops of an even grid; 0 otherwise.
  int Spacing() const { return FSpacing; }
  /// The stops of a line whose first run of TABs has leadingTabs TABs. For
  /// an even grid this is one list for every line.
  const std::vector<int>& StopsFor(int leadingTabs) const;
  /// The grid in another unit: each position times numerator / denominator,
  /// rounded to the nearest; stops that would meet stay one unit apart.
  TTabGrid Scaled(int numerator, int denominator) const;

private:
  int FSpacing = 0;
  // [t]: the stops of a line with t TABs in its first run; one entry when even.
  std::vector<std::vector<int>> FStops{{}};
};

/// The number of TABs in the first run of TABs of line; 0 without a TAB.
int LeadingTabs(std::string_view line);

/// Where a TAB at x moves to: the first of stops right of x, past the last
/// one the next multiple of defaultSpacing right of x.
int NextTabStop(const std::vector<int>& stops, int x, int defaultSpacing);

} // namespace korvane
