// The report as the viewer keeps it and hands it to its control, as far as
// the room that the host's process leaves allows.
#include "RoomedReport.h"

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

std::string TRoomedReport::TooLargeMessage(int shown, int lines) {
  return std::string(TooLargeMessageStart) + "the first " + std::to_string(shown) + " of " + std::to_string(lines) +
         " lines are shown.";
}

void TRoomedReport::Reset() {
  FStoring = true;
  FUnstoredLines = 0;
  FLinesToCheck = 0;
  FCut = false;
}

void TRoomedReport::ReserveForFile(std::uint64_t fileBytes) {
  if (HasRoomFor(GrowthFactor * TMemoryReportView::ReservedBytesForFile(fileBytes)))
    FContent.ReserveForFile(fileBytes);
}

void TRoomedReport::Clear() {
  // The memory of the report before goes too.
  FContent = TMemoryReportView();
  Reset();
}

void TRoomedReport::SetText(std::string_view text) {
  Reset();
  FContent.SetText(text);
}

int TRoomedReport::AddLine(std::string_view text) {
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

int TRoomedReport::Count(std::string_view text) { return 1 + static_cast<int>(CountLineBreaks(text)); }

void TRoomedReport::CheckRoom() {
  if (!FStoring || --FLinesToCheck > 0)
    return;
  FLinesToCheck = CheckLines;
  const std::uint64_t held =
      FContent.Text().capacity() + BytesPerStoredLine * static_cast<std::uint64_t>(FContent.LineCount());
  if (!HasRoomFor(GrowthFactor * held))
    FStoring = false;
}

void TRoomedReport::FormatLine(int index, int size, std::uint32_t colour, bool bold) {
  if (!FStoring && index >= FContent.LineCount())
    return;
  FContent.FormatLine(index, size, colour, bold);
}

int TRoomedReport::PlanPiece(int filled, int wanted) {
  const int rest = std::max(0, FContent.LineCount() - filled);
  const int count = std::clamp(wanted, 0, rest);
  if (FCut)
    return rest;
  const TMemoryStatus status = FMemory();
  if (filled == 0)
    FBudget.Begin(status);
  else
    FBudget.Measure(status, filled);
  const int fit = FBudget.LinesThatFit(status, count, RtfBytesPerLine);
  if (fit < count || (!FStoring && count == rest)) {
    CutAt(filled + fit);
    return FContent.LineCount() - filled;
  }
  return count;
}

void TRoomedReport::CutAt(int shown) {
  if (FCut)
    return;
  const int lines = FContent.LineCount() + FUnstoredLines;
  FContent.KeepLines(shown);
  FStoring = false;
  FUnstoredLines = 0;
  FCut = true;
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
