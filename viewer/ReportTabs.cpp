// The report font and the tab grid of the report's labels, measured on the
// screen's control or on a printer.
#include "ReportTabs.h"

#include <richedit.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "ColumnLabels.h"
#include "MemoryReportView.h"
#include "ReportDriver.h"
#include "ReportStyle.h"
#include "StreamRtf.h"
#include "RtfWriter.h"

namespace korvane::viewer {

namespace {

int TextWidth(HDC dc, std::string_view text) {
  SIZE size{};
  if (text.empty() || !::GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size))
    return 0;
  return static_cast<int>(size.cx);
}

} // namespace

TFont CreateReportFont(int size, bool bold, int dpiY) {
  return TFont(::CreateFontA(-::MulDiv(size, dpiY, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, ReportFontFace));
}

TTabGrid MeasureReportTabGrid(HDC dc) {
  const int dpiY = std::max(1, ::GetDeviceCaps(dc, LOGPIXELSY));
  std::vector<TMeasuredLabel> measured;
  for (const TColumnLabel& label : ReportColumnLabels()) {
    const TFont font = CreateReportFont(label.Size, label.Bold, dpiY);
    const TFontSelection selected(dc, font.Get());
    measured.push_back({TextWidth(dc, label.Text), label.Tabs, label.Column});
  }
  const TFont body = CreateReportFont(ReportBodySize, false, dpiY);
  const TFontSelection selected(dc, body.Get());
  return TTabGrid::Fit(measured, TextWidth(dc, " "));
}

TTabGrid ScreenTabGrid(HWND edit) {
  const TWindowDc dc(edit);
  if (dc.Get() == nullptr)
    return {};
  const int dpiX = std::max(1, ::GetDeviceCaps(dc.Get(), LOGPIXELSX));
  // The control sizes its fonts its own way (Wine's makes 8 point 10 pixels
  // high at 96 dpi, where CreateFont's rounding gives 11), so the labels are
  // measured as the control draws them: each on a line of its own in its
  // line's format, up to the TAB after it.
  const std::vector<TColumnLabel> labels = ReportColumnLabels();
  TMemoryReportView probe;
  for (const TColumnLabel& label : labels) {
    const int line = probe.AddLine(LabelLead(label));
    if (label.Size != ReportBodySize || label.Bold)
      probe.FormatLine(line, label.Size, ColourUnchanged, label.Bold);
  }
  // A space between two letters (RTF takes a space after a line break for
  // the break's delimiter).
  const int spaceLine = probe.AddLine("a a");
  const bool streamed = StreamRtf(edit, ReportToRtf(probe, ::GetACP()));
  const auto x = [edit](int line, std::size_t offset) {
    const LRESULT start = ::SendMessageA(edit, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
    POINTL point{};
    ::SendMessageA(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), start + static_cast<LPARAM>(offset));
    return static_cast<int>(point.x);
  };
  std::vector<TMeasuredLabel> measured;
  bool plausible = streamed;
  for (std::size_t i = 0; i < labels.size() && plausible; ++i) {
    const int width = x(static_cast<int>(i), labels[i].Text.size()) - x(static_cast<int>(i), 0);
    plausible = width > 0 || labels[i].Text.empty();
    measured.push_back({width, labels[i].Tabs, labels[i].Column});
  }
  const int space = x(spaceLine, 2) - x(spaceLine, 1);
  ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  // A control that gives no positions: the labels as the screen draws them.
  if (!plausible || space <= 0)
    return MeasureReportTabGrid(dc.Get()).Scaled(TwipsPerInch, dpiX);
  return TTabGrid::Fit(measured, space).Scaled(TwipsPerInch, dpiX);
}

} // namespace korvane::viewer
