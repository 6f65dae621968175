// The tab stops that line the report's values up in columns.
#include "TabGrid.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace korvane {

namespace {

// The TABs a label of each kind needs to reach its value column from an
// empty start: the most any label of that kind writes.
int ValueColumn(std::span<const TMeasuredLabel> labels, TValueColumn column) {
  int tabs = 0;
  for (const TMeasuredLabel& label : labels)
    if (label.Column == column)
      tabs = std::max(tabs, label.Tabs);
  return tabs;
}

std::int64_t CeilDiv(std::int64_t value, std::int64_t divisor) { return (value + divisor - 1) / divisor; }

// The narrowest even spacing that lines the labels up with at least gap
// between each label and its value; 0 when there is none.
int EvenSpacing(std::span<const TMeasuredLabel> labels, int gap) {
  // A label of width L whose first TAB must reach stop k (counted from 1)
  // and whose value stands at stop c needs L < k * w, L + gap <= c * w and,
  // for k > 1, L > (k - 1) * w, so that it has passed the stop before.
  std::int64_t lowest = 1;
  std::int64_t highest = std::numeric_limits<int>::max() / MaxTabStops;
  for (const TMeasuredLabel& label : labels) {
    const int width = std::max(label.Width, 0);
    const int valueStop = ValueColumn(labels, label.Column);
    const int firstStop = valueStop - label.Tabs + 1;
    lowest = std::max({lowest, std::int64_t{width} / firstStop + 1, CeilDiv(std::int64_t{width} + gap, valueStop)});
    if (firstStop > 1)
      highest = std::min(highest, (std::int64_t{width} - 1) / (firstStop - 1));
  }
  return lowest <= highest ? static_cast<int>(lowest) : 0;
}

} // namespace

TTabGrid TTabGrid::Fit(std::span<const TMeasuredLabel> labels, int gap) {
  gap = std::max(gap, 0);
  int widest = 0;
  int widestName = -1;                                   // of the export listing's leads; -1 without one
  int narrowestOneTab = std::numeric_limits<int>::max(); // of the header labels with one TAB
  int mostTabs = 1;
  for (const TMeasuredLabel& label : labels) {
    widest = std::max(widest, label.Width);
    mostTabs = std::max(mostTabs, label.Tabs);
    if (label.Column == TValueColumn::ExportName)
      widestName = std::max(widestName, label.Width);
    else if (label.Tabs == 1)
      narrowestOneTab = std::min(narrowestOneTab, label.Width);
  }
  const int spacing = EvenSpacing(labels, gap);

  TTabGrid grid;
  if (spacing > 0) {
    grid.FSpacing = spacing;
    std::vector<int>& stops = grid.FStops.front();
    for (int i = 1; i <= MaxTabStops; ++i)
      stops.push_back(i * grid.FSpacing);
    return grid;
  }
  // One stop per TAB, all right of every label, the last at the value column.
  mostTabs = std::min(mostTabs, MaxTabStops);
  const int value = widest + std::max(gap, mostTabs);
  grid.FStops.resize(static_cast<std::size_t>(mostTabs) + 1);
  for (int tabs = 1; tabs <= mostTabs; ++tabs)
    for (int i = tabs - 1; i >= 0; --i)
      grid.FStops[static_cast<std::size_t>(tabs)].push_back(value - i);
  // The export names keep a column of their own, a stop that every header
  // label with one TAB has already passed.
  const int names = widestName + std::max(gap, 1);
  if (widestName >= 0 && names <= narrowestOneTab && names < value) {
    std::vector<int>& oneTab = grid.FStops[1];
    oneTab.insert(oneTab.begin(), names);
  }
  return grid;
}

const std::vector<int>& TTabGrid::StopsFor(int leadingTabs) const {
  if (Even())
    return FStops.front();
  const auto last = static_cast<int>(FStops.size()) - 1;
  return FStops[static_cast<std::size_t>(std::clamp(leadingTabs, 0, last))];
}

TTabGrid TTabGrid::Scaled(int numerator, int denominator) const {
  TTabGrid scaled = *this;
  if (denominator <= 0 || numerator <= 0)
    return scaled;
  const auto convert = [numerator, denominator](int position) {
    const std::int64_t product = std::int64_t{position} * numerator;
    return static_cast<int>((product + denominator / 2) / denominator);
  };
  scaled.FSpacing = FSpacing > 0 ? std::max(1, convert(FSpacing)) : 0;
  for (std::vector<int>& stops : scaled.FStops) {
    int previous = 0;
    for (int& stop : stops) {
      stop = std::max(convert(stop), previous + 1);
      previous = stop;
    }
  }
  return scaled;
}

int LeadingTabs(std::string_view line) {
  const std::size_t first = line.find('\t');
  if (first == std::string_view::npos)
    return 0;
  const std::size_t end = line.find_first_not_of('\t', first);
  return static_cast<int>((end == std::string_view::npos ? line.size() : end) - first);
}

int NextTabStop(const std::vector<int>& stops, int x, int defaultSpacing) {
  const auto next = std::upper_bound(stops.begin(), stops.end(), x);
  if (next != stops.end())
    return *next;
  const int spacing = std::max(defaultSpacing, 1);
  return (x / spacing + 1) * spacing;
}

} // namespace korvane
