// The report view that passes plain text on as it grows: the CLI's stdout.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "ReportView.h"

namespace korvane {

/// Text that TStreamReportView::SetText cannot replace because part of the
/// report has already gone to the sink.
inline constexpr const char* StreamAlreadyWrittenMessage =
    "The report cannot be replaced: part of it has already been written";

/// Keeps the report's text only until about ChunkBytes are held, then hands
/// them to the sink in one piece, always ending at a line break. What the
/// sink receives, followed by Finish, is exactly the text of an in-memory
/// view of the same report with a line break added after a last line that
/// has none. Styles, margin and caret have no meaning in plain text and are
/// dropped. A report is never larger in memory than one chunk and its
/// longest line, so writing a large one touches no fresh pages.
class TStreamReportView final : public TReportView {
public:
  using TSink = std::function<void(std::string_view)>;
  static constexpr std::size_t DefaultChunkBytes = std::size_t{1} << 16;

  explicit TStreamReportView(TSink sink, std::size_t chunkBytes = DefaultChunkBytes);

  void BeginUpdate() override {}
  void EndUpdate() override {}
  /// Empties the report; fails with StreamAlreadyWrittenMessage once text
  /// has gone to the sink.
  void Clear() override;
  int AddLine(std::string_view text) override;
  /// Replaces the report; fails as Clear does.
  void SetText(std::string_view text) override;
  /// The text of a line that is still held; lines already written, and
  /// lines past the end, read as empty.
  std::string LineText(int index) const override;
  void FormatLine(int, int, std::uint32_t, bool) override {}
  void SetLeftMargin(int) override {}
  void ResetCaret() override {}
  void SelectStart() override {}

  /// Hands what is held to the sink, with a line break after a last line
  /// that has none. Call it once, after the report, also after a failure.
  void Finish();

  /// Bytes handed to the sink so far.
  std::size_t WrittenBytes() const { return FWritten; }

private:
  int LineCount() const;
  void Append(std::string_view text);
  void Pass();

  TSink FSink;
  std::size_t FChunkBytes;
  std::string FHeld;
  // Line breaks in everything added, and those already handed on.
  std::size_t FBreaks = 0;
  std::size_t FWrittenBreaks = 0;
  std::size_t FWritten = 0;
};

} // namespace korvane
