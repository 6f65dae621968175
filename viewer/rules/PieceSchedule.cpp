// How much of a report goes into the control at a time.
#include "PieceSchedule.h"

#include <algorithm>
#include <cmath>

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
  const int within = LinesWithin(report, 0, FirstWeight);
  if (within == report.LineCount())
    return within;
  const int screen = std::max(1, screenLines);
  return std::min(screen + screen / 2, within);
}

void TPieceSchedule::Measured(std::uint64_t weight, double milliseconds) {
  if (weight == 0)
    return;
  FLastWeight = weight;
  FSamples[FCount % Kept] = {static_cast<double>(weight), std::max(0.0, milliseconds)};
  ++FCount;
  Fit();
}

void TPieceSchedule::Fit() {
  const int count = std::min(FCount, Kept);
  const TSample& last = FSamples[(FCount - 1) % Kept];
  // The part that grows with the weight: the slope of time over weight
  // where the weights differ enough to show one.
  double meanWeight = 0;
  double meanTime = 0;
  for (int i = 0; i < count; ++i) {
    meanWeight += FSamples[i].Weight / count;
    meanTime += FSamples[i].Milliseconds / count;
  }
  double spread = 0;
  double together = 0;
  for (int i = 0; i < count; ++i) {
    spread += (FSamples[i].Weight - meanWeight) * (FSamples[i].Weight - meanWeight);
    together += (FSamples[i].Weight - meanWeight) * (FSamples[i].Milliseconds - meanTime);
  }
  constexpr double LeastSpread = 0.25; // of the mean weight, squared, a sample
  if (count >= 3 && spread > LeastSpread * LeastSpread * meanWeight * meanWeight * count && together > 0)
    FRate = spread / together;
  else if (FRate == 0 && last.Milliseconds > 0)
    FRate = last.Weight / last.Milliseconds;
  // The fixed part: what the pieces took beyond their weight, the middle
  // one of the kept pieces, so that one message slowed by something else
  // does not resize the next piece.
  if (FRate <= 0) {
    FFixedMilliseconds = 0;
    return;
  }
  double rest[Kept];
  for (int i = 0; i < count; ++i)
    rest[i] = std::max(0.0, FSamples[i].Milliseconds - FSamples[i].Weight / FRate);
  std::nth_element(rest, rest + count / 2, rest + count);
  FFixedMilliseconds = rest[count / 2];
}

std::uint64_t TPieceSchedule::NextWeight(double aimMilliseconds) const {
  const double own =
      std::max(aimMilliseconds - FFixedMilliseconds, std::min(FFixedMilliseconds, GreatestOwnMilliseconds));
  const double suggested = FRate > 0 ? FRate * own : static_cast<double>(2 * FLastWeight);
  const double most = static_cast<double>(std::min(GreatestWeight, 2 * std::max(FLastWeight, LeastWeight)));
  // Rounded, not cut: x87 arithmetic (the 32-bit build) may give 65535.99...
  // where SSE gives 65536.
  return static_cast<std::uint64_t>(std::llround(std::clamp(suggested, static_cast<double>(LeastWeight), most)));
}

} // namespace korvane
