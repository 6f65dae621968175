// The report view over the viewer's rich edit control (edMain).
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>
#include <string_view>

#include "ReportView.h"
#include "StoredReport.h"

namespace korvane::viewer {

/// Writes the report into a Rich Edit 1.0 control. Appending to that control
/// line by line costs time that grows with the square of the report's length,
/// so between BeginUpdate and EndUpdate the report is only kept in memory (in
/// the stored report) and reaches the control through its fill when the
/// update ends. Outside an update every change goes to the control at once.
/// Positions in the control count a line break as two characters.
class TRichEditView final : public TReportView {
public:
  /// What the view needs of the one that puts the stored report into the
  /// control.
  class TControlFill {
  public:
    /// The control holds the stored report's first FilledLines() lines.
    virtual int FilledLines() const = 0;
    /// An update that changed the report ended: the stored report replaces
    /// the control's content.
    virtual void UpdateEnded() = 0;

  protected:
    ~TControlFill() = default;
  };

  /// The report is stored in report and reaches the control through fill;
  /// both outlive the view.
  TRichEditView(TStoredReport& report, TControlFill& fill) : FReport(report), FFill(fill) {}

  /// The empty control that shows the next report; the content stays.
  void Attach(HWND edit) { FEdit = edit; }
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

  /// Changes of the report wait for the end of an update before they reach
  /// the control.
  bool Updating() const { return FUpdateDepth > 0 || FStreamPending; }

private:
  enum class TCaretRequest { None, ResetAndScroll, SelectStart };

  void Changed();
  void ApplyCaret(TCaretRequest request);

  TStoredReport& FReport;
  TControlFill& FFill;
  HWND FEdit = nullptr;
  int FUpdateDepth = 0;
  bool FStreamPending = false;
  TCaretRequest FCaretRequest = TCaretRequest::None;
};

} // namespace korvane::viewer
