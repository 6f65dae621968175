// The report view over the viewer's rich edit control (edMain).
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>
#include <string_view>

#include "Handles.h"
#include "MemoryReportView.h"
#include "ProcessMemory.h"
#include "ReportStyle.h"
#include "ReportView.h"
#include "RoomedReport.h"
#include "TabGrid.h"

namespace korvane::viewer {

/// Rich edit positions and tab stops are in twips, 1,440 to the inch.
inline constexpr int TwipsPerInch = 1440;

/// The report font in size points and the weight bold, for a device of dpiY
/// pixels per inch vertically, as the rich edit control makes it.
TFont CreateReportFont(int size, bool bold, int dpiY);

/// The tab grid of the report's labels in dc's pixels: each label measured
/// in the report font in its line's size and weight, a space of the body
/// text between a label and its value.
TTabGrid MeasureReportTabGrid(HDC dc);

/// The tab grid of the report's labels as the empty control edit draws
/// them, in twips; the control is left empty.
TTabGrid ScreenTabGrid(HWND edit);

/// Writes the report into a Rich Edit 1.0 control. Appending to that control
/// line by line costs time that grows with the square of the report's length,
/// so between BeginUpdate and EndUpdate the report is only kept in memory and
/// reaches the control as styled RTF streams when the update ends. Outside an
/// update every change is streamed at once. Positions in the control count a
/// line break as two characters.
///
/// One stream of a long report holds the caller for many seconds (about 40 s
/// for a million lines), and its cost grows faster than the report. A report
/// of more than WholeReportLines lines therefore gets only its first
/// FirstPieceLines lines when the update ends; FillNextPiece appends the rest
/// in pieces at the end of the content, which costs the
/// same for the last piece as for the first, while the user's selection and
/// scroll position stay where they are.
///
/// The view lives in the host's process, whose address space may be small
/// (2 GiB for a 32-bit host) and which must not run out of it: the report is
/// kept and handed to the control as a TRoomedReport, which ends it with the
/// cut line where the rest does not fit.
class TRichEditView final : public TReportView {
public:
  static constexpr int WholeReportLines = 4096;
  static constexpr int FirstPieceLines = 1024;
  /// A piece starts at 4,096 lines and then takes as many as the last piece
  /// suggests for PieceMilliseconds, between MinPieceLines and MaxPieceLines,
  /// at most twice as many as the last.
  static constexpr int MinPieceLines = 1024;
  static constexpr int MaxPieceLines = 16384;
  static constexpr int PieceMilliseconds = 250;

  /// The control is not owned.
  explicit TRichEditView(HWND edit) : FEdit(edit) {}

  /// The empty control that shows the next report; the content stays.
  void Attach(HWND edit);
  void ReserveForFile(std::uint64_t fileBytes) override;

  void BeginUpdate() override;
  void EndUpdate() override;
  void Clear() override;
  int AddLine(std::string_view text) override;
  void SetText(std::string_view text) override;
  std::string LineText(int index) const override;
  void FormatLine(int index, int size, std::uint32_t colour, bool bold) override;
  void SetLeftMargin(int pixels) override;
  void ResetCaret() override;
  void SelectStart() override;

  /// The report as the control holds it once the update has ended and the
  /// fill is complete.
  const TMemoryReportView& Content() const { return FReport.Content(); }
  /// Lines of the report are still to be appended to the control.
  bool Filling() const;
  /// The report did not fit and ends with the cut line.
  bool Cut() const { return FReport.Cut(); }
  /// Memory ran out while the report was built: the report ends after the
  /// lines stored so far, with the cut line.
  void EndForLackOfRoom();
  /// Appends the next piece of the report; nothing when the fill is complete.
  void FillNextPiece();
  /// Appends every piece that is left.
  void CompleteFill();
  HWND Handle() const { return FEdit; }

  /// The tab stops (in twips) of every report streamed from now on.
  void SetTabGrid(const TTabGrid& twips);
  /// Streams the report again with other tab stops (in twips), or with its
  /// own for nullptr, keeping the selection and the first visible line.
  /// Returns false, and leaves the control as it is, when the process has no
  /// room for a second copy of the report as RTF.
  bool RestreamWithTabs(const TTabGrid* twips);

private:
  enum class TCaretRequest { None, ResetAndScroll, SelectStart };

  void Changed();
  void StreamContent();
  /// The RTF of the next count lines; without memory for it, that of the cut
  /// line, and count is set to the lines it holds.
  std::string PieceRtf(int& count);
  /// The control did not take a whole piece: the cut line follows it.
  void StreamFailed();

  void ApplyCaret(TCaretRequest request);
  const TTabGrid* Tabs() const { return FHasTabs ? &FTabs : nullptr; }

  HWND FEdit;
  TRoomedReport FReport{ReadProcessMemory};
  int FUpdateDepth = 0;
  bool FStreamPending = false;
  TCaretRequest FCaretRequest = TCaretRequest::None;
  TTabGrid FTabs;
  bool FHasTabs = false;
  // Lines of the stored report that the control holds.
  int FFilledLines = 0;
  int FPieceLines = 4096;
};

/// The RTF text into a rich edit control with one EM_STREAMIN, replacing its
/// content (or, with SFF_SELECTION in flags, the selection). Returns false
/// when the control reports an error or does not take the whole text.
bool StreamRtf(HWND edit, const std::string& rtf, UINT flags = SF_RTF);

} // namespace korvane::viewer
