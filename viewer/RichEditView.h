// The report view over the viewer's rich edit control (edMain).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "Handles.h"
#include "MemoryReportView.h"
#include "ReportStyle.h"
#include "ReportView.h"
#include "TabGrid.h"

namespace korvane::viewer {

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
/// reaches the control as one styled RTF stream when the update ends. Outside
/// an update every change is streamed at once. Positions in the control count
/// a line break as two characters.
class TRichEditView final : public TReportView {
public:
  /// The control is not owned.
  explicit TRichEditView(HWND edit) : FEdit(edit) {}

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

  /// The report as the control holds it once the update has ended.
  const TMemoryReportView& Content() const { return FContent; }
  HWND Handle() const { return FEdit; }

  /// The tab stops (in twips) of every report streamed from now on.
  void SetTabGrid(const TTabGrid& twips);
  /// Streams the report again with other tab stops (in twips), or with its
  /// own for nullptr, keeping the selection and the first visible line.
  void RestreamWithTabs(const TTabGrid* twips);

private:
  enum class TCaretRequest { None, ResetAndScroll, SelectStart };

  void Changed();
  void StreamContent();
  void ApplyCaret(TCaretRequest request);

  HWND FEdit;
  TMemoryReportView FContent;
  int FUpdateDepth = 0;
  bool FStreamPending = false;
  TCaretRequest FCaretRequest = TCaretRequest::None;
  TTabGrid FTabs;
  bool FHasTabs = false;
};

/// The RTF text into a rich edit control with one EM_STREAMIN, replacing its
/// content. Returns false when the control reports an error.
bool StreamRtf(HWND edit, const std::string& rtf);

} // namespace korvane::viewer
