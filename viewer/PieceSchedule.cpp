// How much of a report goes into the control at a time.
#include "PieceSchedule.h"

#include <algorithm>

namespace korvane {

std::uint64_t TPieceSchedule::Weight(const TMemoryReportView& report, int first, int count) {
  const int lines = report.LineCount();
  first = std::clamp(first, 0, lines);
  count = std::clamp(count, 0, lines - first);
  return report.LineStart(first + count) - report.LineStart(first) + LineWeight * static_cast<std::uint64_t>(count);
}

int TPieceSchedule::LinesWithin(const TMemoryReportView& report, int first, std::uint64_t weight) {
  const int left = report.LineCount() - std::clamp(first, 0, report.LineCount());
  // The weight of the first k lines grows with k: the largest k within
  // weight, by halving.
  int low = left > 0 ? 1 : 0;
  int high = left;
  while (low < high) {
    const int middle = low + (high - low + 1) / 2;
    if (Weight(report, first, middle) <= weight)
      low = middle;
    else
      high = middle - 1;
  }
  return low;
}

int TPieceSchedule::FirstPieceLines(const TMemoryReportView& report, int screenLines) {
  const int screen = std::max(1, screenLines);
  const int wanted = screen + screen / 2;
  return std::min(wanted, LinesWithin(report, 0, FirstWeight));
}

void TPieceSchedule::Measured(std::uint64_t weight, double streamMilliseconds, double messageMilliseconds) {
  if (weight == 0)
    return;
  FLastWeight = weight;
  FRate = streamMilliseconds > 0 ? static_cast<double>(weight) / streamMilliseconds : 0;
  FRestMilliseconds = std::max(0.0, messageMilliseconds - streamMilliseconds);
}

std::uint64_t TPieceSchedule::NextWeight(double aimMilliseconds) const {
  const double streamAim = std::max(aimMilliseconds - FRestMilliseconds, aimMilliseconds / 2);
  const double suggested = FRate > 0 ? FRate * streamAim : static_cast<double>(2 * FLastWeight);
  const double most = static_cast<double>(std::min(GreatestWeight, 2 * std::max(FLastWeight, LeastWeight)));
  return static_cast<std::uint64_t>(std::clamp(suggested, static_cast<double>(LeastWeight), most));
}

} // namespace korvane
