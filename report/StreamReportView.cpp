// The report view that passes plain text on as it grows.
#include "StreamReportView.h"

#include <algorithm>
#include <utility>

#include "Errors.h"
#include "LineBreaks.h"

namespace korvane {

TStreamReportView::TStreamReportView(TSink sink, std::size_t chunkBytes)
    : FSink(std::move(sink)), FChunkBytes(chunkBytes) {
  // A chunk and the line that passes its end fit without growing.
  FHeld.reserve(FChunkBytes + 256);
}

void TStreamReportView::Clear() {
  if (FWritten != 0)
    throw TKorvaneError(StreamAlreadyWrittenMessage);
  FHeld.clear();
  FBreaks = 0;
}

int TStreamReportView::LineCount() const {
  // The last line counts unless it is the empty one after the last break.
  const bool openLine = !FHeld.empty() && FHeld.back() != '\n';
  return static_cast<int>(FBreaks) + (openLine ? 1 : 0);
}

void TStreamReportView::Append(std::string_view text) {
  FHeld.append(text);
  FBreaks += CountLineBreaks(text);
}

int TStreamReportView::AddLine(std::string_view text) {
  const int index = LineCount();
  Append(text);
  FHeld += '\n';
  ++FBreaks;
  // Held text ends at a line break here, so a chunk never splits a line.
  if (FHeld.size() >= FChunkBytes)
    Pass();
  return index;
}

void TStreamReportView::SetText(std::string_view text) {
  Clear();
  Append(text);
}

std::string TStreamReportView::LineText(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) < FWrittenBreaks)
    return {};
  std::size_t start = 0;
  for (std::size_t skip = static_cast<std::size_t>(index) - FWrittenBreaks; skip != 0; --skip) {
    const std::size_t feed = FHeld.find('\n', start);
    if (feed == std::string::npos)
      return {};
    start = feed + 1;
  }
  const std::size_t end = std::min(FHeld.find('\n', start), FHeld.size());
  return FHeld.substr(start, end - start);
}

void TStreamReportView::Pass() {
  FSink(FHeld);
  FWritten += FHeld.size();
  FWrittenBreaks = FBreaks;
  FHeld.clear();
}

void TStreamReportView::Finish() {
  if (!FHeld.empty() && FHeld.back() != '\n') {
    FHeld += '\n';
    ++FBreaks;
  }
  if (!FHeld.empty())
    Pass();
}

} // namespace korvane
