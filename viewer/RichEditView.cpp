// The report view over the viewer's rich edit control (edMain).
#include "RichEditView.h"

#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <vector>

#include "ColumnLabels.h"
#include "ReportDriver.h"
#include "ProcessMemory.h"
#include "RtfWriter.h"

namespace korvane::viewer {

namespace {

struct TStreamSource {
  const std::string* Text;
  std::size_t Offset;
};

// Runs inside the control; copies the next piece and never throws.
DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) noexcept {
  auto* source = reinterpret_cast<TStreamSource*>(cookie);
  const std::size_t left = source->Text->size() - source->Offset;
  const std::size_t count =
      wanted > 0 && static_cast<std::size_t>(wanted) < left ? static_cast<std::size_t>(wanted) : left;
  std::memcpy(buffer, source->Text->data() + source->Offset, count);
  source->Offset += count;
  *given = static_cast<LONG>(count);
  return 0;
}

constexpr LONG PastTheEnd = 0x7FFFFFFF;
// A second copy of the report as RTF takes about twice its text.
constexpr std::uint64_t RtfCopyFactor = 2;

// Gives back a window's DC.
class TWindowDc {
public:
  explicit TWindowDc(HWND window) : FWindow(window), FDc(::GetDC(window)) {}
  ~TWindowDc() {
    if (FDc != nullptr)
      ::ReleaseDC(FWindow, FDc);
  }
  TWindowDc(const TWindowDc&) = delete;
  TWindowDc& operator=(const TWindowDc&) = delete;
  HDC Get() const { return FDc; }

private:
  HWND FWindow;
  HDC FDc;
};

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
      probe.FormatLine(line, label.Size, KeepColour, label.Bold);
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

bool StreamRtf(HWND edit, const std::string& rtf, UINT flags) {
  TStreamSource source{&rtf, 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadRtf;
  ::SendMessageA(edit, EM_STREAMIN, flags, reinterpret_cast<LPARAM>(&stream));
  return stream.dwError == 0 && source.Offset == rtf.size();
}

void TRichEditView::Attach(HWND edit) {
  FEdit = edit;
  FFilledLines = 0;
}

void TRichEditView::ReserveForFile(std::uint64_t fileBytes) { FReport.ReserveForFile(fileBytes); }

void TRichEditView::BeginUpdate() {
  if (FUpdateDepth++ == 0) {
    ::SendMessageA(FEdit, WM_SETREDRAW, FALSE, 0);
    FCaretRequest = TCaretRequest::None;
  }
}

void TRichEditView::EndUpdate() {
  if (FUpdateDepth == 0 || --FUpdateDepth > 0)
    return;
  // EndUpdate runs from guards while a failure travels out: it must not throw.
  try {
    if (FStreamPending)
      StreamContent();
  } catch (...) {
    // Deliberate: without memory for the stream the control keeps its old text.
  }
  ApplyCaret(FCaretRequest);
  FCaretRequest = TCaretRequest::None;
  ::SendMessageA(FEdit, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(FEdit, nullptr, TRUE);
}

void TRichEditView::Changed() {
  if (FUpdateDepth > 0) {
    FStreamPending = true;
    return;
  }
  BeginUpdate();
  FStreamPending = true;
  EndUpdate();
}

void TRichEditView::StreamContent() {
  FStreamPending = false;
  FFilledLines = 0;
  const int lines = Content().LineCount();
  int count = FReport.PlanPiece(0, lines > WholeReportLines ? FirstPieceLines : lines);
  const std::string rtf = PieceRtf(count);
  const bool streamed = StreamRtf(FEdit, rtf);
  FFilledLines = count;
  if (!streamed)
    StreamFailed();
}

std::string TRichEditView::PieceRtf(int& count) {
  try {
    return ReportLinesToRtf(Content(), {FFilledLines, count}, ::GetACP(), Tabs());
  } catch (const std::bad_alloc&) {
    // No room for the piece's text: the report ends where the control does.
  }
  FReport.CutAt(FFilledLines);
  count = Content().LineCount() - FFilledLines;
  try {
    return ReportLinesToRtf(Content(), {FFilledLines, count}, ::GetACP(), Tabs());
  } catch (const std::bad_alloc&) {
    // Deliberate: not even the cut line has room; the fill ends here.
    count = 0;
    FReport.Content().KeepLines(FFilledLines);
    return {};
  }
}

void TRichEditView::StreamFailed() {
  // The control took part of the piece or none: what it holds stays, and
  // the cut line follows with the next piece.
  FReport.CutAt(FFilledLines);
}

void TRichEditView::EndForLackOfRoom() {
  if (FReport.Cut())
    return;
  if (FFilledLines < Content().LineCount() || FUpdateDepth > 0 || FStreamPending)
    FReport.StopStoring();
  else
    FReport.CutAt(FFilledLines);
}

bool TRichEditView::Filling() const {
  return FUpdateDepth == 0 && !FStreamPending && FFilledLines < Content().LineCount();
}

void TRichEditView::FillNextPiece() {
  if (!Filling())
    return;
  const auto start = std::chrono::steady_clock::now();
  int count = FReport.PlanPiece(FFilledLines, FPieceLines);
  const std::string rtf = PieceRtf(count);
  if (count == 0) {
    FFilledLines = Content().LineCount();
    return;
  }
  // The piece goes in at the end of the content, where the selection has to
  // stand for it; the user's selection and scroll position come back after.
  CHARRANGE selection{};
  ::SendMessageA(FEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  const LRESULT firstLine = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
  const int column = ::GetScrollPos(FEdit, SB_HORZ);
  ::SendMessageA(FEdit, WM_SETREDRAW, FALSE, 0);
  // A position past the end stands for the end, which the control finds
  // without counting its way there from the start.
  CHARRANGE atEnd{PastTheEnd, PastTheEnd};
  ::SendMessageA(FEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&atEnd));
  const bool streamed = StreamRtf(FEdit, rtf, SF_RTF | SFF_SELECTION);
  FFilledLines += count;
  if (!streamed)
    StreamFailed();
  // A read-only report has nothing to undo. The records of the pieces go
  // once the last is in: after EM_EMPTYUNDOBUFFER, Wine's control takes time
  // that grows with the square of a piece's lines for every later piece
  // (15 s for 8,192 lines, against 0.6 s without).
  if (FFilledLines == Content().LineCount())
    ::SendMessageA(FEdit, EM_EMPTYUNDOBUFFER, 0, 0);
  ::SendMessageA(FEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  // The control scrolls to where the piece went in once it draws again:
  // it is drawn now (the message loop takes posted messages before
  // painting), and then put back where the user had it.
  ::SendMessageA(FEdit, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(FEdit, nullptr, FALSE);
  ::UpdateWindow(FEdit);
  // Rich Edit 1.0 scrolls by lines; Wine's control moves a different number
  // of lines than asked once the report is long, so each step asks in
  // proportion to how far the last one went.
  LRESULT now = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
  LRESULT asked = 0;
  LRESULT moved = 0;
  for (int step = 0; step < 6 && now != firstLine; ++step) {
    const LRESULT wanted = firstLine - now;
    asked = moved != 0 ? wanted * asked / moved : wanted;
    if (asked == 0)
      asked = wanted > 0 ? 1 : -1;
    ::SendMessageA(FEdit, EM_LINESCROLL, 0, asked);
    const LRESULT after = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
    moved = after - now;
    now = after;
  }
  // The last lines one at a time.
  for (int step = 0; step < 4 && now != firstLine; ++step) {
    ::SendMessageA(FEdit, WM_VSCROLL, now < firstLine ? SB_LINEDOWN : SB_LINEUP, 0);
    now = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
  }
  if (::GetScrollPos(FEdit, SB_HORZ) != column)
    ::SendMessageA(FEdit, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, column), 0);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  if (count == FPieceLines) {
    const long long suggested =
        static_cast<long long>(count) * PieceMilliseconds / std::max<long long>(1, took.count());
    FPieceLines = static_cast<int>(
        std::clamp<long long>(suggested, MinPieceLines, std::min<long long>(MaxPieceLines, 2LL * count)));
  }
}

void TRichEditView::CompleteFill() {
  while (Filling())
    FillNextPiece();
}

void TRichEditView::SetTabGrid(const TTabGrid& twips) {
  FTabs = twips;
  FHasTabs = true;
}

bool TRichEditView::RestreamWithTabs(const TTabGrid* twips) {
  // The whole report's RTF, beside the control that holds it.
  const std::uint64_t rtfBytes = RtfCopyFactor * Content().Text().size() +
                                 TRoomedReport::RtfBytesPerLine * static_cast<std::uint64_t>(Content().LineCount());
  if (!FReport.HasRoomFor(RtfCopyFactor * rtfBytes))
    return false;
  std::string rtf;
  try {
    rtf = ReportToRtf(Content(), ::GetACP(), twips != nullptr ? twips : Tabs());
  } catch (const std::bad_alloc&) {
    return false;
  }
  CHARRANGE selection{};
  ::SendMessageA(FEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  const LRESULT firstLine = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
  ::SendMessageA(FEdit, WM_SETREDRAW, FALSE, 0);
  StreamRtf(FEdit, rtf);
  FFilledLines = Content().LineCount();
  ::SendMessageA(FEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  const LRESULT nowFirst = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
  ::SendMessageA(FEdit, EM_LINESCROLL, 0, firstLine - nowFirst);
  ::SendMessageA(FEdit, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(FEdit, nullptr, TRUE);
  return true;
}

void TRichEditView::ApplyCaret(TCaretRequest request) {
  if (request == TCaretRequest::None)
    return;
  ::SendMessageA(FEdit, EM_SETSEL, 0, 0);
  if (request == TCaretRequest::ResetAndScroll)
    ::SendMessageA(FEdit, EM_SCROLLCARET, 0, 0);
}

void TRichEditView::Clear() {
  FReport.Clear();
  Changed();
}

int TRichEditView::AddLine(std::string_view text) {
  const int index = FReport.AddLine(text);
  Changed();
  return index;
}

void TRichEditView::SetText(std::string_view text) {
  FReport.SetText(text);
  Changed();
}

std::string TRichEditView::LineText(int index) const {
  // During an update or the fill the control does not hold the line yet.
  if (FUpdateDepth > 0 || FStreamPending || index >= FFilledLines)
    return Content().LineText(index);
  const LRESULT start = ::SendMessageA(FEdit, EM_LINEINDEX, static_cast<WPARAM>(index), 0);
  if (index < 0 || start < 0)
    return {};
  const LRESULT length = ::SendMessageA(FEdit, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
  if (length <= 0)
    return {};
  // EM_GETLINE reads the buffer size from its first word and may add the break.
  std::vector<char> buffer(static_cast<std::size_t>(length) + 3 > sizeof(WORD) ? static_cast<std::size_t>(length) + 3
                                                                               : sizeof(WORD));
  const WORD capacity = static_cast<WORD>(buffer.size() > 0xFFFF ? 0xFFFF : buffer.size());
  std::memcpy(buffer.data(), &capacity, sizeof capacity);
  const LRESULT copied =
      ::SendMessageA(FEdit, EM_GETLINE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
  const std::size_t kept = static_cast<std::size_t>(copied < length ? (copied < 0 ? 0 : copied) : length);
  return std::string(buffer.data(), kept);
}

void TRichEditView::FormatLine(int index, int size, std::uint32_t colour, bool bold) {
  FReport.FormatLine(index, size, colour, bold);
  Changed();
}

void TRichEditView::SetLeftMargin(int pixels) {
  ::SendMessageA(FEdit, EM_SETMARGINS, EC_LEFTMARGIN, MAKELPARAM(pixels, 0));
}

void TRichEditView::ResetCaret() {
  if (FUpdateDepth > 0)
    FCaretRequest = TCaretRequest::ResetAndScroll;
  else
    ApplyCaret(TCaretRequest::ResetAndScroll);
}

void TRichEditView::SelectStart() {
  if (FUpdateDepth > 0)
    FCaretRequest = TCaretRequest::SelectStart;
  else
    ApplyCaret(TCaretRequest::SelectStart);
}

} // namespace korvane::viewer
