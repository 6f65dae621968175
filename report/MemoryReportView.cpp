// The report view kept in memory.
#include "MemoryReportView.h"

#include "Errors.h"

namespace korvane {

TMemoryReportView::TMemoryReportView() : FLines(1) {}

void TMemoryReportView::Clear() { FLines.assign(1, TReportLine{}); }

int TMemoryReportView::LineCount() const {
  const int all = static_cast<int>(FLines.size());
  return FLines.back().Text.empty() ? all - 1 : all;
}

void TMemoryReportView::AppendText(std::string_view text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t feed = text.find('\n', start);
    if (feed == std::string_view::npos) {
      FLines.back().Text.append(text.substr(start));
      return;
    }
    FLines.back().Text.append(text.substr(start, feed - start));
    FLines.emplace_back();
    start = feed + 1;
  }
}

int TMemoryReportView::AddLine(std::string_view text) {
  const int index = LineCount();
  AppendText(text);
  FLines.emplace_back();
  return index;
}

void TMemoryReportView::SetText(std::string_view text) {
  Clear();
  AppendText(text);
}

const TReportLine& TMemoryReportView::Line(int index) const {
  if (index < 0 || index >= static_cast<int>(FLines.size()))
    throw TKorvaneError("Report line index out of range (" + std::to_string(index) + ")");
  return FLines[static_cast<std::size_t>(index)];
}

std::string TMemoryReportView::LineText(int index) const {
  if (index < 0 || index >= static_cast<int>(FLines.size()))
    return {};
  return FLines[static_cast<std::size_t>(index)].Text;
}

void TMemoryReportView::FormatLine(int index, int size, std::uint32_t colour, bool bold) {
  if (index < 0 || index >= static_cast<int>(FLines.size()))
    return;
  TReportLine& line = FLines[static_cast<std::size_t>(index)];
  line.Bold = bold;
  line.Size = size;
  if (colour != ColourLeave)
    line.Colour = colour;
}

void TMemoryReportView::ResetCaret() { ++FCaretResets; }

void TMemoryReportView::SelectStart() { ++FStartSelections; }

std::string TMemoryReportView::Text() const {
  std::string text;
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    if (i > 0)
      text += '\n';
    text += FLines[i].Text;
  }
  return text;
}

} // namespace korvane
