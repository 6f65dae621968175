// The report view kept in memory.
#include "MemoryReportView.h"

#include <new>

#include "Errors.h"
#include "LineBreaks.h"

namespace korvane {

TMemoryReportView::TMemoryReportView() : FStarts(1, 0) {}

void TMemoryReportView::Clear() {
  FText.clear();
  FStarts.assign(1, 0);
  FFormats.clear();
}

void TMemoryReportView::Reserve(std::size_t textBytes, std::size_t lines) {
  FText.reserve(textBytes);
  FStarts.reserve(lines);
}

namespace {

// A report's text is about its file's size; its lines about one per 32 bytes.
// Beyond 1 GiB a file's size says too little of its report.
constexpr std::uint64_t ReservedSlackBytes = 4096;
constexpr std::uint64_t FileBytesPerLine = 32;
constexpr std::uint64_t ReservedSlackLines = 64;
constexpr std::uint64_t LargestReservedFile = std::uint64_t{1} << 30;

} // namespace

std::uint64_t TMemoryReportView::ReservedBytesForFile(std::uint64_t fileBytes) {
  if (fileBytes >= LargestReservedFile)
    return 0;
  return fileBytes + ReservedSlackBytes + (fileBytes / FileBytesPerLine + ReservedSlackLines) * sizeof(std::size_t);
}

void TMemoryReportView::ReserveForFile(std::uint64_t fileBytes) {
  if (fileBytes >= LargestReservedFile)
    return;
  const auto textBytes = static_cast<std::size_t>(fileBytes + ReservedSlackBytes);
  const auto lines = static_cast<std::size_t>(fileBytes / FileBytesPerLine + ReservedSlackLines);
  try {
    if (!FText.empty()) {
      Reserve(textBytes, lines);
      return;
    }
    // An empty report takes fresh buffers; those of the report before go.
    std::string text;
    text.reserve(textBytes);
    std::vector<std::size_t> starts;
    starts.reserve(lines);
    starts.push_back(0);
    FText.swap(text);
    FStarts.swap(starts);
  } catch (const std::bad_alloc&) {
    // Deliberate: the report then grows as it is built.
  }
}

int TMemoryReportView::LineCount() const {
  // The last line is empty exactly when the text ends where it starts.
  return FStarts.back() == FText.size() ? AllLines() - 1 : AllLines();
}

std::size_t TMemoryReportView::LineStart(int index) const {
  if (index <= 0)
    return 0;
  return index < AllLines() ? FStarts[static_cast<std::size_t>(index)] : FText.size();
}

void TMemoryReportView::AppendText(std::string_view text) {
  const std::size_t base = FText.size();
  FText.append(text);
  ForEachLineBreak(text, [&](std::size_t feed) { FStarts.push_back(base + feed + 1); });
}

int TMemoryReportView::AddLine(std::string_view text) {
  const int index = LineCount();
  const std::size_t textSize = FText.size();
  const std::size_t lines = FStarts.size();
  // A line that cannot be stored leaves the lines before it as they were.
  try {
    AppendText(text);
    FText += '\n';
    FStarts.push_back(FText.size());
  } catch (...) {
    FText.resize(textSize);
    FStarts.resize(lines);
    throw;
  }
  return index;
}

void TMemoryReportView::KeepLines(int count) {
  if (count < 0 || count >= LineCount())
    return;
  const auto kept = static_cast<std::size_t>(count);
  FText.resize(FStarts[kept]);
  FStarts.resize(kept + 1);
  std::erase_if(FFormats, [count](const auto& format) { return format.first >= count; });
}

void TMemoryReportView::ShrinkToFit() {
  FText.shrink_to_fit();
  FStarts.shrink_to_fit();
}

void TMemoryReportView::SetText(std::string_view text) {
  Clear();
  AppendText(text);
}

std::string_view TMemoryReportView::LineView(int index) const {
  const auto i = static_cast<std::size_t>(index);
  const std::size_t start = FStarts[i];
  const std::size_t end = i + 1 < FStarts.size() ? FStarts[i + 1] - 1 : FText.size();
  return std::string_view(FText).substr(start, end - start);
}

TReportLine TMemoryReportView::Line(int index) const {
  if (index < 0 || index >= AllLines())
    throw TKorvaneError("Report line index out of range (" + std::to_string(index) + ")");
  TReportLine line;
  line.Text = std::string(LineView(index));
  const auto format = FFormats.find(index);
  if (format != FFormats.end()) {
    line.Size = format->second.Size;
    line.Colour = format->second.Colour;
    line.Bold = format->second.Bold;
  }
  return line;
}

std::string TMemoryReportView::LineText(int index) const {
  if (index < 0 || index >= AllLines())
    return {};
  return std::string(LineView(index));
}

void TMemoryReportView::FormatLine(int index, int size, std::uint32_t colour, bool bold) {
  if (index < 0 || index >= AllLines())
    return;
  TLineFormat& format = FFormats[index];
  format.Bold = bold;
  format.Size = size;
  if (colour != ColourUnchanged)
    format.Colour = colour;
}

void TMemoryReportView::ResetCaret() { ++FCaretResets; }

void TMemoryReportView::SelectStart() { ++FStartSelections; }

} // namespace korvane
