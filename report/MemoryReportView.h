// The report view kept in memory: the CLI, the tests and the fuzzers write into it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ReportStyle.h"
#include "ReportView.h"

namespace korvane {

/// Colour of a line that was never given one: the control's window-text colour.
inline constexpr std::uint32_t ColourDefault = 0xFF000000;

/// A line of the in-memory report with the format of its characters.
struct TReportLine {
  std::string Text;
  int Size = ReportBodySize;
  std::uint32_t Colour = ColourDefault;
  bool Bold = false;
};

/// Keeps the content as the rich edit control does: lines separated by
/// breaks, the last line being the (usually empty) one after the last break.
/// The text is one buffer with the start of each line beside it, and only
/// styled lines carry a format, so a report of many lines costs little more
/// than its text and appending is linear.
class TMemoryReportView final : public TReportView {
public:
  TMemoryReportView();

  void BeginUpdate() override { ++FUpdateDepth; }
  void EndUpdate() override { --FUpdateDepth; }
  void Clear() override;
  int AddLine(std::string_view text) override;
  void SetText(std::string_view text) override;
  std::string LineText(int index) const override;
  void FormatLine(int index, int size, std::uint32_t colour, bool bold) override;
  void SetLeftMargin(int pixels) override { FLeftMargin = pixels; }
  void ResetCaret() override;
  void SelectStart() override;

  /// Room for about this much text and this many lines, so that a large
  /// report is not copied as it grows; memory the report never uses is
  /// never touched.
  void Reserve(std::size_t textBytes, std::size_t lines);
  /// The report of a file is about as large as the file: room for that,
  /// the room of a report before given back first. A report grown piece by
  /// piece copies itself at every growth (half the time a million lines take
  /// to build); without memory for the room it grows as it comes.
  void ReserveForFile(std::uint64_t fileBytes) override;
  /// The text and line bytes that ReserveForFile reserves for a file, 0
  /// for one whose size says too little of its report.
  static std::uint64_t ReservedBytesForFile(std::uint64_t fileBytes);

  /// Keeps the first count lines, each with its break.
  void KeepLines(int count);
  /// Gives back the memory that the text and lines do not use.
  void ShrinkToFit();

  /// Lines before the empty line after the last break.
  int LineCount() const;
  /// The line's text and format; fails for an index past the last line.
  TReportLine Line(int index) const;
  /// Where the line starts in Text(); Text()'s size for the index of the
  /// empty line after the last break and beyond.
  std::size_t LineStart(int index) const;
  /// The whole content, each line but the last followed by "\n".
  const std::string& Text() const { return FText; }

  int UpdateDepth() const { return FUpdateDepth; }
  int LeftMargin() const { return FLeftMargin; }
  /// How often the caret was placed at 0 with and without a scroll request.
  int CaretResets() const { return FCaretResets; }
  int StartSelections() const { return FStartSelections; }

private:
  struct TLineFormat {
    int Size = ReportBodySize;
    std::uint32_t Colour = ColourDefault;
    bool Bold = false;
  };

  void AppendText(std::string_view text);
  int AllLines() const { return static_cast<int>(FStarts.size()); }
  std::string_view LineView(int index) const;

  std::string FText;
  std::vector<std::size_t> FStarts;
  std::unordered_map<int, TLineFormat> FFormats;
  int FUpdateDepth = 0;
  int FLeftMargin = 0;
  int FCaretResets = 0;
  int FStartSelections = 0;
};

} // namespace korvane
