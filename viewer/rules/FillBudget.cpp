// How much of a report the viewer may still put into its control.
#include "FillBudget.h"

#include <algorithm>

namespace korvane {

namespace {

std::uint64_t Used(const TMemoryStatus& status) {
  return status.AddressSpace - std::min(status.FreeAddressSpace, status.AddressSpace);
}

// What is left of free once a quarter of total is kept.
std::uint64_t Left(std::uint64_t total, std::uint64_t free) {
  const std::uint64_t reserve = total / 4;
  return free > reserve ? free - reserve : 0;
}

} // namespace

std::uint64_t TFillBudget::Room(const TMemoryStatus& status) {
  return std::min(Left(status.AddressSpace, status.FreeAddressSpace), Left(status.Commit, status.FreeCommit));
}

void TFillBudget::Begin(const TMemoryStatus& status) {
  FUsedAtBegin = Used(status);
  FBytesPerLine = FirstBytesPerLine;
}

void TFillBudget::Measure(const TMemoryStatus& status, int lines) {
  if (lines < MeasuredLines)
    return;
  const std::uint64_t used = Used(status);
  const std::uint64_t grown = used > FUsedAtBegin ? used - FUsedAtBegin : 0;
  FBytesPerLine = std::max(LeastBytesPerLine, grown / static_cast<std::uint64_t>(lines));
}

int TFillBudget::LinesThatFit(const TMemoryStatus& status, int wanted, std::uint64_t extraBytesPerLine) const {
  if (wanted <= 0)
    return 0;
  const std::uint64_t lines = Room(status) / (FBytesPerLine + extraBytesPerLine);
  return lines < static_cast<std::uint64_t>(wanted) ? static_cast<int>(lines) : wanted;
}

} // namespace korvane
