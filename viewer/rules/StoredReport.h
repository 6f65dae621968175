// The report as the viewer keeps it and hands it to its control, as far as
// the room that the host's process leaves allows. Kept free of Windows types
// so that the rules can be tested on any system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "FillBudget.h"
#include "MemoryReportView.h"

namespace korvane {

/// The stored report and the rules that keep it, and the control it fills,
/// inside the room the fill budget gives: the report is stored while there is
/// room for it to grow (the lines after that are only counted), and every
/// piece for the control holds as many lines as fit. Where the rest of the
/// report does not fit, the stored report ends after the last line that fits
/// with the too-large line (TooLargeMessage), styled as the report's error line,
/// and the rest is given up.
class TStoredReport {
public:
  using TMemorySource = std::function<TMemoryStatus()>;

  /// The stored report asks for room after this many lines; it needs room
  /// for twice what it holds, since its buffers double as they grow.
  static constexpr int CheckLines = 4096;
  /// What a line's RTF takes while its piece goes in: its text, escapes, the
  /// line's format and break; long lines are rare and the host's reserve
  /// covers them.
  static constexpr std::uint64_t RtfBytesPerLine = 128;

  explicit TStoredReport(TMemorySource memory) : FMemory(std::move(memory)) {}

  /// The too-large line: the first shown lines of all the report's lines. It
  /// starts with TooLargeMessageStart.
  static std::string TooLargeMessage(int shown, int lines);
  static constexpr std::string_view TooLargeMessageStart = "The report is too large to show here: ";

  /// The report as stored; a truncated report ends with the too-large line.
  const TMemoryReportView& Content() const { return FContent; }
  TMemoryReportView& Content() { return FContent; }

  /// Room for the report of a file of fileBytes bytes, where the process
  /// has room for it.
  void ReserveForFile(std::uint64_t fileBytes);
  void Clear();
  void SetText(std::string_view text);
  /// Stores the text's lines, or only counts them when the report may grow
  /// no more; returns the index of the first.
  int AddLine(std::string_view text);
  /// Styles a stored line; a line that was not stored is left alone.
  void FormatLine(int index, int size, std::uint32_t colour, bool bold);

  /// The lines of the piece that starts at line filled, at most wanted: as
  /// many as fit, and when the rest does not, the too-large line after them. The
  /// piece at line 0 begins a fill: the control holds nothing of the report.
  int PlanPiece(int filled, int wanted);
  /// Ends the stored report after its first shown lines with the too-large line
  /// and gives back the memory of the rest; nothing once it is truncated.
  void TruncateAt(int shown);
  /// Memory ran out while the report was built: nothing more is stored, and
  /// the fill ends with the too-large line after the lines stored.
  void StopStoring() { FStoring = false; }
  bool Storing() const { return FStoring; }
  /// The report did not fit and ends with the too-large line.
  bool Truncated() const { return FTruncated; }
  /// The process has room for bytes more, besides the host's reserve.
  bool HasRoomFor(std::uint64_t bytes) const { return TFillBudget::Room(FMemory()) >= bytes; }

private:
  void Reset();
  void CheckRoom();
  int Count(std::string_view text);

  TMemorySource FMemory;
  TMemoryReportView FContent;
  TFillBudget FBudget;
  bool FStoring = true;
  // Lines of the report that were not stored.
  int FUnstoredLines = 0;
  int FLinesToCheck = 0;
  bool FTruncated = false;
};

} // namespace korvane
