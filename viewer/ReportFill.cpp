// The fill of the report control in pieces: the control's life, the piece
// schedule, the undo rule and the guard of the host's memory.
#include "ReportFill.h"

#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <new>
#include <utility>

#include "Application.h"
#include "OsError.h"
#include "ProcessMemory.h"
#include "ReportStyle.h"
#include "ReportTabs.h"
#include "RtfWriter.h"
#include "StreamRtf.h"

namespace korvane::viewer {

namespace {

// A child id far above the menu's command ids.
constexpr int ReportControlId = 0xF002;
// Far above any report; the control's default of 32,767 characters is not.
constexpr LPARAM ReportTextLimit = 0x7FFFFFFE;
constexpr LONG PastTheEnd = 0x7FFFFFFF;
// A second copy of the report as RTF takes about twice its text.
constexpr std::uint64_t RtfCopyFactor = 2;
// A control of at most this many lines is destroyed at once (its
// DestroyWindow costs about 10 microseconds a line in Wine); a longer one
// from the message loop after the new report's first screen is shown.
constexpr LRESULT PromptlyDestroyedLines = 1024;
// With less room than this, or after a report that did not fit, the control
// of the report before goes at once, before the next report is built: its
// memory is what the next report needs.
constexpr std::uint64_t ShortRoomBytes = 64 * 1024 * 1024;
// A window too small to count (the host has not sized it yet) is taken to
// show this many lines.
constexpr int LeastScreenLines = 16;

using TClock = std::chrono::steady_clock;

// The user's selection and scroll position while the control takes a stream
// with its drawing off; both come back, and the control is drawn again, when
// the keeper goes.
class TKeptPosition {
public:
  /// The stream changes the lines from changedLine on, in a window that shows
  /// screenLines lines.
  TKeptPosition(HWND edit, int changedLine, int screenLines)
      : FEdit(edit), FChangedLine(changedLine), FScreenLines(screenLines) {
    ::SendMessageA(FEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&FSelection));
    FFirstLine = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
    FColumn = ::GetScrollPos(FEdit, SB_HORZ);
    ::GetClientRect(FEdit, &FClient);
    ::SendMessageA(FEdit, WM_SETREDRAW, FALSE, 0);
  }
  TKeptPosition(const TKeptPosition&) = delete;
  TKeptPosition& operator=(const TKeptPosition&) = delete;
  ~TKeptPosition() {
    ::SendMessageA(FEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&FSelection));
    // Lines changed below the window change only the scroll bars. Wine's
    // control walks every line it holds to paint any part of itself, so it
    // is drawn only when the change shows, the view moved or a scroll bar
    // came or went: it is drawn now (the message loop takes posted messages
    // before painting), and then put back where the user had it.
    RECT client{};
    ::GetClientRect(FEdit, &client);
    const bool shows = FChangedLine <= FFirstLine + FScreenLines ||
                       ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0) != FFirstLine ||
                       ::GetScrollPos(FEdit, SB_HORZ) != FColumn || !::EqualRect(&client, &FClient);
    ::SendMessageA(FEdit, WM_SETREDRAW, TRUE, 0);
    if (shows) {
      ::InvalidateRect(FEdit, nullptr, FALSE);
      ::UpdateWindow(FEdit);
      ScrollBack();
    } else {
      RedrawScrollBars();
    }
  }

private:
  void ScrollBack() const {
    // Rich Edit 1.0 scrolls by lines; Wine's control moves a different
    // number of lines than asked once the report is long, so each step asks
    // in proportion to how far the last one went.
    LRESULT now = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
    LRESULT asked = 0;
    LRESULT moved = 0;
    for (int step = 0; step < 6 && now != FFirstLine; ++step) {
      const LRESULT wanted = FFirstLine - now;
      asked = moved != 0 ? wanted * asked / moved : wanted;
      if (asked == 0)
        asked = wanted > 0 ? 1 : -1;
      ::SendMessageA(FEdit, EM_LINESCROLL, 0, asked);
      const LRESULT after = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
      moved = after - now;
      now = after;
    }
    // The last lines one at a time.
    for (int step = 0; step < 4 && now != FFirstLine; ++step) {
      ::SendMessageA(FEdit, WM_VSCROLL, now < FFirstLine ? SB_LINEDOWN : SB_LINEUP, 0);
      now = ::SendMessageA(FEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
    }
    if (::GetScrollPos(FEdit, SB_HORZ) != FColumn)
      ::SendMessageA(FEdit, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, FColumn), 0);
  }

  // The scroll bars drawn as they now stand, without the content.
  void RedrawScrollBars() const {
    for (const int bar : {SB_VERT, SB_HORZ}) {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
      if (::GetScrollInfo(FEdit, bar, &info))
        ::SetScrollInfo(FEdit, bar, &info, TRUE);
    }
  }

  HWND FEdit;
  int FChangedLine;
  int FScreenLines;
  CHARRANGE FSelection{};
  LRESULT FFirstLine = 0;
  int FColumn = 0;
  RECT FClient{};
};

double MillisecondsSince(TClock::time_point start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

} // namespace

TReportFill::TReportFill(HWND form, HFONT font, int width, int height)
    : FForm(form), FFont(font), FReport(ProcessMemoryStatus), edMain(CreateControl(width, height)) {
  FView.Attach(edMain.Get());
  FTabs = ScreenTabGrid(edMain.Get());
  if (const HDC screen = ::GetDC(edMain.Get())) {
    const HGDIOBJ before = ::SelectObject(screen, FFont);
    TEXTMETRICA metrics{};
    if (::GetTextMetricsA(screen, &metrics) && metrics.tmHeight > 0)
      FLineHeight = metrics.tmHeight + metrics.tmExternalLeading;
    ::SelectObject(screen, before);
    ::ReleaseDC(edMain.Get(), screen);
  }
}

int TReportFill::ScreenLines() const {
  RECT client{};
  ::GetClientRect(edMain.Get(), &client);
  return std::max(LeastScreenLines, static_cast<int>(client.bottom / std::max(1, FLineHeight)) + 1);
}

TReportFill::~TReportFill() {
  if (FForm == nullptr)
    return;
  // No message of the fill outlives it.
  ::KillTimer(FForm, FillTimerId);
  MSG message{};
  while (::PeekMessageA(&message, FForm, FillMessage, DisposalMessage, PM_REMOVE | PM_NOYIELD)) {
  }
}

void TReportFill::ReleaseWindows() {
  FForm = nullptr;
  edMain.Release();
  for (TWindow& retired : FRetiredControls)
    retired.Release();
}

TWindow TReportFill::CreateControl(int width, int height) const {
  TWindow control(Checked(
      ::CreateWindowExA(WS_EX_CLIENTEDGE, "RICHEDIT", "",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                            ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_NOHIDESEL,
                        0, 0, width, height, FForm, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ReportControlId)),
                        ModuleInstance(), nullptr),
      "The report control"));
  const HWND edit = control.Get();
  ::SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  ::SendMessageA(edit, EM_EXLIMITTEXT, 0, ReportTextLimit);
  ::SendMessageA(edit, EM_SETTARGETDEVICE, 0, 1); // no word wrap
  // The report is read only: no undo records for the pieces of a fill
  // (Rich Edit 2.0 and Wine's control keep none; 1.0 ignores the message).
  ::SendMessageA(edit, EM_SETUNDOLIMIT, 0, 0);
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_COLOR | CFM_CHARSET;
  format.dwEffects = CFE_AUTOCOLOR;
  format.yHeight = ReportBodySize * 20; // twips
  format.bCharSet = DEFAULT_CHARSET;
  std::strcpy(format.szFaceName, ReportFontFace);
  ::SendMessageA(edit, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  return control;
}

void TReportFill::Start(const std::string& path) {
  const TWaitCursor wait;
  const bool roomShort = FReport.Truncated() || TFillBudget::Room(ProcessMemoryStatus()) < ShortRoomBytes;
  if (roomShort)
    DestroyRetiredControls();
  // Every report gets a fresh control: the control empties itself far more
  // slowly than it fills (minutes for a report of a million lines), while a
  // new one costs milliseconds.
  RECT client{};
  ::GetClientRect(FForm, &client);
  TWindow old = std::exchange(edMain, CreateControl(client.right, client.bottom));
  const bool focused = old.Valid() && ::GetFocus() == old.Get();
  FView.Attach(edMain.Get());
  FFilledLines = 0;
  if (roomShort)
    Retire(old, focused, true);
  std::exception_ptr failure;
  try {
    FDriver.BuildReport(path);
  } catch (const std::bad_alloc&) {
    // The report ends where memory did, as one that does not fit.
    EndForLackOfRoom();
  } catch (...) {
    // The lines written before the failure are shown like any report's.
    failure = std::current_exception();
  }
  Retire(old, focused, false);
  PostFillMessage();
  if (failure)
    std::rethrow_exception(failure);
}

void TReportFill::Retire(TWindow& old, bool focused, bool promptly) {
  if (focused)
    ::SetFocus(edMain.Get());
  if (!old.Valid())
    return;
  if (promptly || ::SendMessageA(old.Get(), EM_GETLINECOUNT, 0, 0) <= PromptlyDestroyedLines) {
    old.Reset();
    return;
  }
  ::ShowWindow(old.Get(), SW_HIDE);
  FRetiredControls.push_back(std::move(old));
  if (!FDisposalPosted)
    FDisposalPosted = ::PostMessageA(FForm, DisposalMessage, 0, 0) != FALSE;
}

void TReportFill::DestroyRetiredControls() {
  FDisposalPosted = false;
  FRetiredControls.clear();
}

void TReportFill::PostFillMessage() {
  if (FFillPosted || !Filling())
    return;
  // The message loop takes a posted message before the user's input, so
  // while input waits the next piece comes from a timer, which waits for it.
  if (HIWORD(::GetQueueStatus(QS_INPUT)) != 0)
    FFillPosted = ::SetTimer(FForm, FillTimerId, USER_TIMER_MINIMUM, nullptr) != 0;
  else
    FFillPosted = ::PostMessageA(FForm, FillMessage, 0, 0) != FALSE;
}

void TReportFill::FillNextPiece() {
  ::KillTimer(FForm, FillTimerId);
  FFillPosted = false;
  // The controls of earlier reports give their memory back before the
  // pieces of this one weigh the room.
  if (!FRetiredControls.empty())
    DestroyRetiredControls();
  AppendPiece();
  PostFillMessage();
}

void TReportFill::Complete() {
  if (!Filling())
    return;
  const TWaitCursor wait;
  while (Filling())
    AppendPiece(CompletePieceMilliseconds);
}

bool TReportFill::Filling() const { return !FView.Updating() && FFilledLines < Content().LineCount(); }

void TReportFill::UpdateEnded() {
  FFilledLines = 0;
  FSchedule = {};
  const auto start = TClock::now();
  int count = FReport.PlanPiece(0, TPieceSchedule::FirstPieceLines(Content(), ScreenLines()));
  const std::string rtf = PieceRtf(count);
  const bool streamed = StreamRtf(edMain.Get(), rtf);
  FFilledLines = count;
  if (!streamed)
    StreamFailed();
  const double took = MillisecondsSince(start);
  FSchedule.Measured(TPieceSchedule::Weight(Content(), 0, count), took);
}

std::string TReportFill::PieceRtf(int& count) {
  try {
    return ReportLinesToRtf(Content(), {FFilledLines, count}, ::GetACP(), &FTabs);
  } catch (const std::bad_alloc&) {
    // No room for the piece's text: the report ends where the control does.
  }
  FReport.TruncateAt(FFilledLines);
  count = Content().LineCount() - FFilledLines;
  try {
    return ReportLinesToRtf(Content(), {FFilledLines, count}, ::GetACP(), &FTabs);
  } catch (const std::bad_alloc&) {
    // Deliberate: not even the too-large line has room; the fill ends here.
    count = 0;
    FReport.Content().KeepLines(FFilledLines);
    return {};
  }
}

void TReportFill::StreamFailed() {
  // The control took part of the piece or none: what it holds stays, and
  // the too-large line follows with the next piece.
  FReport.TruncateAt(FFilledLines);
}

void TReportFill::EndForLackOfRoom() {
  if (FReport.Truncated())
    return;
  if (FFilledLines < Content().LineCount() || FView.Updating())
    FReport.StopStoring();
  else
    FReport.TruncateAt(FFilledLines);
}

void TReportFill::AppendPiece(double aimMilliseconds) {
  if (!Filling())
    return;
  const HWND edit = edMain.Get();
  const auto start = TClock::now();
  const int first = FFilledLines;
  int count =
      FReport.PlanPiece(first, TPieceSchedule::LinesWithin(Content(), first, FSchedule.NextWeight(aimMilliseconds)));
  const std::string rtf = PieceRtf(count);
  if (count == 0) {
    FFilledLines = Content().LineCount();
    return;
  }
  {
    // The piece goes in at the end of the content, where the selection has
    // to stand for it.
    const TKeptPosition kept(edit, first, ScreenLines());
    // A position past the end stands for the end, which the control finds
    // without counting its way there from the start.
    CHARRANGE atEnd{PastTheEnd, PastTheEnd};
    ::SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&atEnd));
    const bool streamed = StreamRtf(edit, rtf, SF_RTF | SFF_SELECTION);
    FFilledLines += count;
    if (!streamed)
      StreamFailed();
    // A read-only report has nothing to undo. The records of the pieces go
    // once the last is in: after EM_EMPTYUNDOBUFFER, Wine's control takes
    // time that grows with the square of a piece's lines for every later
    // piece.
    if (FFilledLines == Content().LineCount())
      ::SendMessageA(edit, EM_EMPTYUNDOBUFFER, 0, 0);
  }
  FSchedule.Measured(TPieceSchedule::Weight(Content(), first, count), MillisecondsSince(start));
}

bool TReportFill::RestreamWithTabs(const TTabGrid* twips) {
  // The whole report's RTF, beside the control that holds it.
  const std::uint64_t rtfBytes = RtfCopyFactor * Content().Text().size() +
                                 TStoredReport::RtfBytesPerLine * static_cast<std::uint64_t>(Content().LineCount());
  if (!FReport.HasRoomFor(RtfCopyFactor * rtfBytes))
    return false;
  std::string rtf;
  try {
    rtf = ReportToRtf(Content(), ::GetACP(), twips != nullptr ? twips : &FTabs);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const TKeptPosition kept(edMain.Get(), 0, ScreenLines());
  StreamRtf(edMain.Get(), rtf);
  FFilledLines = Content().LineCount();
  return true;
}

} // namespace korvane::viewer
