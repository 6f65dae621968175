// The fill of the report control in pieces: the control's life, the piece
// schedule, the undo rule and the guard of the host's memory.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Handles.h"
#include "MemoryReportView.h"
#include "PieceSchedule.h"
#include "ReportDriver.h"
#include "RichEditView.h"
#include "StoredReport.h"
#include "TabGrid.h"

namespace korvane::viewer {

/// Puts each report into a fresh Rich Edit 1.0 control, a child of the form.
///
/// A stream into the control costs time by the bytes and lines it holds, and
/// one stream of a long report more than its pieces do; the fill runs on the
/// host's thread. When the view's update ends, the control therefore gets
/// only the lines that fill its window and half a window more; the rest
/// follows in pieces that the piece schedule sizes from what the pieces
/// before cost, one per FillMessage (or FillTimerId while input waits) that
/// the fill posts to the form, appended at the end of the content, which
/// costs the same for the last piece as for the first, while the user's
/// selection and scroll position stay where they are.
///
/// The fill lives in the host's process, whose address space may be small
/// (2 GiB for a 32-bit host) and which must not run out of it: the report is
/// kept and handed to the control as a TStoredReport, which ends it with the
/// too-large line where the rest does not fit.
class TReportFill : private TRichEditView::TControlFill {
public:
  /// Posted to the form, which hands them on: the next piece of the report,
  /// the controls of earlier reports to destroy.
  static constexpr UINT FillMessage = WM_APP + 1;
  static constexpr UINT DisposalMessage = WM_APP + 2;
  static constexpr UINT_PTR FillTimerId = 1;

  /// The first control, empty, of width by height pixels in form, which
  /// outlives the fill; its text in font, which outlives the controls.
  TReportFill(HWND form, HFONT font, int width, int height);
  ~TReportFill();
  TReportFill(const TReportFill&) = delete;
  TReportFill& operator=(const TReportFill&) = delete;

  /// The control of the current report (edMain).
  HWND Control() const { return edMain.Get(); }
  /// The view the report is written to.
  TReportView& View() { return FView; }
  /// The driver of the current report: its file's name and kind.
  const TReportDriver& Driver() const { return FDriver; }

  /// The report of the file in a fresh control; its first piece is shown
  /// when this returns and the rest follows from the message loop.
  void Start(const std::string& path);
  /// The whole report in the control before a command reads it, in pieces
  /// of CompletePieceMilliseconds: the command holds the host meanwhile, and
  /// larger pieces cost less of the rest of their messages.
  void Complete();
  static constexpr double CompletePieceMilliseconds = 250;
  /// Appends the next piece (FillMessage, FillTimerId).
  void FillNextPiece();
  /// Destroys the controls of earlier reports (DisposalMessage).
  void DestroyRetiredControls();
  /// The form and its children are destroyed already: nothing of theirs is
  /// touched again.
  void ReleaseWindows();

  /// The report as stored; the control holds its first FFilledLines lines.
  const TMemoryReportView& Content() const { return FReport.Content(); }

  /// Streams the report again with other tab stops (in twips), or with the
  /// screen's for nullptr, keeping the selection and the first visible line.
  /// Returns false, and leaves the control as it is, when the process has no
  /// room for a second copy of the report as RTF.
  bool RestreamWithTabs(const TTabGrid* twips);

private:
  int FilledLines() const override { return FFilledLines; }
  /// The report replaces the control's content, its first piece at once.
  void UpdateEnded() override;

  TWindow CreateControl(int width, int height) const;
  /// The lines of the report's body the control shows at once.
  int ScreenLines() const;
  /// Lines of the report are still to be appended to the control.
  bool Filling() const;
  /// Appends a piece sized for a message of aimMilliseconds.
  void AppendPiece(double aimMilliseconds = TPieceSchedule::PieceMilliseconds);
  void PostFillMessage();
  /// The control of the report before goes, or waits hidden for the message
  /// loop when it is long and not wanted promptly.
  void Retire(TWindow& old, bool focused, bool promptly);
  /// Memory ran out while the report was built: the report ends after the
  /// lines stored so far, with the too-large line.
  void EndForLackOfRoom();
  /// The RTF of the next count lines; without memory for it, that of the
  /// too-large line, and count is set to the lines it holds.
  std::string PieceRtf(int& count);
  /// The control did not take a whole piece: the too-large line follows it.
  void StreamFailed();

  HWND FForm;
  HFONT FFont;
  TStoredReport FReport;
  TRichEditView FView{FReport, *this};
  TReportDriver FDriver{FView};
  // The screen's tab stops, in twips: the fonts stay as they are for the
  // viewer's life, so one grid serves every report.
  TTabGrid FTabs;
  // Lines of the stored report that the control holds.
  int FFilledLines = 0;
  // The height of a line of the report's body, in pixels.
  int FLineHeight = 16;
  TPieceSchedule FSchedule;
  bool FFillPosted = false;
  bool FDisposalPosted = false;
  TWindow edMain;
  // Controls of earlier reports, hidden until the message loop destroys them.
  std::vector<TWindow> FRetiredControls;
};

} // namespace korvane::viewer
