// The report as the viewer keeps it and hands it to its control, as far as
// the room that the host's process leaves allows.
#include "StoredReport.h"

#include <algorithm>
#include <new>

#include "LineBreaks.h"

namespace korvane {

namespace {

// Buffers double as they grow: storing more takes room for twice what is held.
constexpr std::uint64_t GrowthFactor = 2;
// What a stored line takes besides its text: its start, and room to grow.
constexpr std::uint64_t BytesPerStoredLine = 2 * sizeof(std::size_t);

} // namespace

std::string TStoredReport::TooLargeMessage(int shown, int lines) {
  return std::string(TooLargeMessageStart) + "the first " + std::to_string(shown) + " of " + std::to_string(lines) +
         " lines are shown.";
}

void TStoredReport::Reset() {
  FStoring = true;
  FUnstoredLines = 0;
  FLinesToCheck = 0;
  FTruncated = false;
}

void TStoredReport::ReserveForFile(std::uint64_t fileBytes) {
  if (HasRoomFor(GrowthFactor * TMemoryReportView::ReservedBytesForFile(fileBytes)))
    FContent.ReserveForFile(fileBytes);
}

void TStoredReport::Clear() {
  // The memory of the report before goes too.
  FContent = TMemoryReportView();
  Reset();
}

void TStoredReport::SetText(std::string_view text) {
  Reset();
  FContent.SetText(text);
}

int TStoredReport::AddLine(std::string_view text) {
  CheckRoom();
  if (FStoring) {
    try {
      return FContent.AddLine(text);
    } catch (const std::bad_alloc&) {
      // The line is counted with the rest that is not stored.
      FStoring = false;
    }
  }
  const int index = FContent.LineCount() + FUnstoredLines;
  FUnstoredLines += Count(text);
  return index;
}

int TStoredReport::Count(std::string_view text) { return 1 + static_cast<int>(CountLineBreaks(text)); }

void TStoredReport::CheckRoom() {
  if (!FStoring || --FLinesToCheck > 0)
    return;
  FLinesToCheck = CheckLines;
  const std::uint64_t held =
      FContent.Text().capacity() + BytesPerStoredLine * static_cast<std::uint64_t>(FContent.LineCount());
  if (!HasRoomFor(GrowthFactor * held))
    FStoring = false;
}

void TStoredReport::FormatLine(int index, int size, std::uint32_t colour, bool bold) {
  if (!FStoring && index >= FContent.LineCount())
    return;
  FContent.FormatLine(index, size, colour, bold);
}

int TStoredReport::PlanPiece(int filled, int wanted) {
  const int rest = std::max(0, FContent.LineCount() - filled);
  const int count = std::clamp(wanted, 0, rest);
  if (FTruncated)
    return rest;
  const TMemoryStatus status = FMemory();
  if (filled == 0)
    FBudget.Begin(status);
  else
    FBudget.Measure(status, filled);
  const int fit = FBudget.LinesThatFit(status, count, RtfBytesPerLine);
  if (fit < count || (!FStoring && count == rest)) {
    TruncateAt(filled + fit);
    return FContent.LineCount() - filled;
  }
  return count;
}

void TStoredReport::TruncateAt(int shown) {
  if (FTruncated)
    return;
  const int lines = FContent.LineCount() + FUnstoredLines;
  FContent.KeepLines(shown);
  FStoring = false;
  FUnstoredLines = 0;
  FTruncated = true;
  try {
    // The line goes in before the rest's memory is given back, while the
    // buffers still have room for it.
    const int line = FContent.AddLine(TooLargeMessage(shown, lines));
    FContent.FormatLine(line, ReportBodySize, ColourRed, true);
  } catch (const std::bad_alloc&) {
    // Deliberate: without memory for the line the report ends without it.
  }
  FContent.ShrinkToFit();
}

} // namespace korvane
