// The report control: lines, styles and value columns as the control shows
// them, its properties, and the fill of a long report in pieces.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "Harness.h"
#include "StreamRtf.h"

namespace {

using namespace korvane::test;
using namespace std::chrono_literals;

TEST(ReportControl, LinesAndStylesReadBackFromTheControl) {
  THostWindow host;
  const struct {
    const char* Name;
    std::string Path;
  } rows[] = {{"korvane.dll itself (exports and imports)", ModulePath()},
              {"16-bit module (red line)", Samples().Win16.Path()},
              {"MS-DOS program", Samples().Dos.Path()}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    TViewer viewer(host.Get(), false);
    ASSERT_EQ(viewer.Show(row.Path), -1) << LastErrorText();
    const korvane::TMemoryReportView expected = EngineReport(row.Path);
    const HWND edit = viewer.Report();
    // A report longer than the first screen goes in piece by piece.
    ASSERT_TRUE(PumpUntil(
        [edit, &expected] { return ::SendMessageA(edit, EM_GETLINECOUNT, 0, 0) >= expected.LineCount(); }, 120s));
    const std::vector<std::string> lines = ControlLines(edit);
    ASSERT_GE(lines.size(), static_cast<std::size_t>(expected.LineCount()));
    for (int i = 0; i < expected.LineCount(); ++i) {
      const korvane::TReportLine line = expected.Line(i);
      SCOPED_TRACE("line " + std::to_string(i) + ": " + line.Text);
      EXPECT_EQ(lines[static_cast<std::size_t>(i)], line.Text);
      if (line.Text.empty())
        continue;
      const CHARFORMATA format = LineFormat(edit, i);
      EXPECT_EQ(format.yHeight, line.Size * 20);
      EXPECT_EQ((format.dwEffects & CFE_BOLD) != 0, line.Bold);
      if (line.Colour == korvane::ColourDefault)
        EXPECT_NE(format.dwEffects & CFE_AUTOCOLOR, 0u);
      else
        EXPECT_EQ(format.crTextColor, line.Colour);
      EXPECT_STREQ(format.szFaceName, "MS Sans Serif");
    }
    for (std::size_t i = static_cast<std::size_t>(expected.LineCount()); i < lines.size(); ++i)
      EXPECT_EQ(lines[i], "") << "only empty lines follow the report";
  }
}

// Where the control draws the first character after each line's first run
// of TABs: the x positions of the header values and of the export names.
struct TValueColumns {
  std::vector<int> Header;
  std::vector<int> Exports;
};

TValueColumns ValueColumnsOf(HWND edit, const std::vector<std::string>& lines) {
  TValueColumns columns;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos)
      continue;
    const std::size_t value = line.find_first_not_of('\t', tab);
    if (value == std::string::npos)
      continue; // a label without a value
    const LRESULT start = ::SendMessageA(edit, EM_LINEINDEX, static_cast<WPARAM>(i), 0);
    POINTL point{};
    ::SendMessageA(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), start + static_cast<LPARAM>(value));
    const bool exportLine =
        line.rfind("Ordinal\t", 0) == 0 || (tab >= 4 && line.find_first_not_of("0123456789") == tab);
    (exportLine ? columns.Exports : columns.Header).push_back(static_cast<int>(point.x));
  }
  return columns;
}

std::string Spread(std::vector<int> xs) {
  if (xs.empty())
    return "none";
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::string text;
  for (const int x : xs)
    text += (text.empty() ? "" : " ") + std::to_string(x);
  return text;
}

TEST(ReportControl, HeaderValuesAndExportNamesEachStandInOneColumn) {
  THostWindow host;
  const TTempFile dosWithLinker{TDosBuilder().Word(0x1C, 1).Byte(0x1E, 0xFB).Byte(0x1F, 0x33).Build(), "linker.exe"};
  const TTempFile allBits{TPeBuilder().Characteristics(0x723F).Export("Alpha", 1).Export("Beta", 65535).Build(),
                          "bits.dll"};
  struct TRow {
    std::string Name;
    std::string Path;
    bool Exports;
  };
  std::vector<TRow> rows = {{"MS-DOS program with a linker version", dosWithLinker.Path(), false},
                            {"PE32 with every characteristic and exports", allBits.Path(), true},
                            {"korvane.dll itself", ModulePath(), sizeof(void*) == 4}};
  // Wine's own kernel32.dll, when the Linux side's file is reachable.
  for (const char* kernel32 : {"Z:\\usr\\lib\\x86_64-linux-gnu\\wine\\x86_64-windows\\kernel32.dll",
                               "Z:\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows\\kernel32.dll"})
    if (::GetFileAttributesA(kernel32) != INVALID_FILE_ATTRIBUTES)
      rows.push_back({kernel32, kernel32, std::strstr(kernel32, "i386") != nullptr});
  {
    // The face the system gives for the report's font, for the log.
    const HFONT font = ::CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    const HDC dc = ::GetDC(nullptr);
    const HGDIOBJ old = ::SelectObject(dc, font);
    char face[LF_FACESIZE] = {};
    ::GetTextFaceA(dc, sizeof face, face);
    std::printf("\"MS Sans Serif\" is drawn with \"%s\"\n", face);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(font);
  }
  TViewer viewer(host.Get(), false);
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_EQ(viewer.Show(row.Path), -1) << LastErrorText();
    const TValueColumns columns = ValueColumnsOf(viewer.Report(), ControlLines(viewer.Report()));
    std::printf("%s: header values at x = %s; export names at x = %s\n", row.Name.c_str(),
                Spread(columns.Header).c_str(), Spread(columns.Exports).c_str());
    EXPECT_GE(columns.Header.size(), 13u);
    EXPECT_EQ(Spread(columns.Header).find(' '), std::string::npos) << "header values in several columns";
    if (row.Exports) {
      EXPECT_GE(columns.Exports.size(), 3u);
      EXPECT_EQ(Spread(columns.Exports).find(' '), std::string::npos) << "export names in several columns";
    }
  }
}

TEST(ReportControl, PropertiesOfTheControl) {
  THostWindow host;
  TViewer viewer(host.Get(), false);
  const HWND edit = viewer.Report();
  ASSERT_NE(edit, nullptr);
  const auto style = static_cast<DWORD>(::GetWindowLongA(edit, GWL_STYLE));
  EXPECT_NE(style & ES_READONLY, 0u);
  EXPECT_NE(style & ES_NOHIDESEL, 0u);
  EXPECT_GT(::SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 1 << 30);
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  ::SendMessageA(edit, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  EXPECT_STREQ(format.szFaceName, "MS Sans Serif");
  EXPECT_EQ(format.yHeight, 160);
  EXPECT_EQ(format.dwEffects & CFE_BOLD, 0u);
  RECT form{};
  RECT control{};
  ::GetClientRect(viewer.Get(), &form);
  ::GetClientRect(edit, &control);
  ::MapWindowPoints(edit, viewer.Get(), reinterpret_cast<POINT*>(&control), 2);
  EXPECT_LE(control.left, 2);
  EXPECT_GE(control.right, form.right - 2) << "the control fills the form";

  // Both scroll bars appear once the report outgrows the control; no line wraps.
  ::MoveWindow(viewer.Get(), 0, 0, 200, 150, TRUE);
  ASSERT_EQ(viewer.Show(ModulePath()), -1);
  PumpPending();
  // Every report comes in a control of its own, made like the first.
  const HWND reportEdit = viewer.Report();
  ASSERT_NE(reportEdit, nullptr);
  const auto shown = static_cast<DWORD>(::GetWindowLongA(reportEdit, GWL_STYLE));
  EXPECT_NE(shown & WS_HSCROLL, 0u);
  EXPECT_NE(shown & WS_VSCROLL, 0u);
  EXPECT_NE(shown & ES_READONLY, 0u);
  EXPECT_GT(::SendMessageA(reportEdit, EM_GETLIMITTEXT, 0, 0), 1 << 30);
  const auto lines = ::SendMessageA(reportEdit, EM_GETLINECOUNT, 0, 0);
  EXPECT_LE(lines, EngineReport(ModulePath()).LineCount() + 1);
}

// The control reads a stream in blocks and stops at the document's closing
// brace: a document whose brace ends a block leaves its final line break
// unread, and is still taken whole.
TEST(ReportControl, DocumentsOfEverySizeAroundTheControlsReadsAreTakenWhole) {
  ASSERT_NE(::LoadLibraryA("riched32.dll"), nullptr);
  const HWND edit = ::CreateWindowExA(0, "RICHEDIT", "", WS_CHILD | ES_MULTILINE | ES_AUTOHSCROLL, 0, 0, 300, 200,
                                      RecordingHostWindow(), nullptr, nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  ::SendMessageA(edit, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  ::SendMessageA(edit, EM_SETTARGETDEVICE, 0, 1); // no word wrap
  const std::string head = "{\\rtf1\\ansi ";
  const std::string line(57, 'x');
  for (const std::size_t block : {std::size_t{4096}, std::size_t{8192}}) {
    for (std::size_t size = block - 3; size <= block + 3; ++size) {
      for (const bool selection : {false, true}) {
        SCOPED_TRACE("a document of " + std::to_string(size) + " bytes" + (selection ? ", into the selection" : ""));
        // Lines of 57 characters, the last one shorter, then "}\n".
        std::string body;
        std::string text;
        while (head.size() + body.size() + line.size() + 5 + 2 < size) {
          body += line + "\\par ";
          text += line + "\r\n";
        }
        const std::string last(size - head.size() - body.size() - 2, 'x');
        body += last;
        text += last;
        ::SetWindowTextA(edit, "");
        EXPECT_TRUE(korvane::viewer::StreamRtf(edit, head + body + "}\n", selection ? SF_RTF | SFF_SELECTION : SF_RTF));
        EXPECT_EQ(ReportText(edit), text);
      }
    }
    // A document cut short is not taken whole.
    SCOPED_TRACE("no closing brace");
    EXPECT_FALSE(korvane::viewer::StreamRtf(edit, head + std::string(block, 'y')));
  }
  ::DestroyWindow(edit);
}

// ---- a report long enough to reach the control in pieces ----

LRESULT ControlLineCount(HWND edit) { return ::SendMessageA(edit, EM_GETLINECOUNT, 0, 0); }

// Shows the long listing; the control holds only its first part then.
void ShowLongListing(TViewer& viewer, int reportLines) {
  ASSERT_EQ(viewer.Show(LongListingSample().Path()), -1) << LastErrorText();
  ASSERT_GE(ControlLineCount(viewer.Report()), 40) << "at least the first screen is in";
  ASSERT_LT(ControlLineCount(viewer.Report()), reportLines) << "the rest is still to come";
}

bool PumpUntilFilled(HWND edit, int reportLines) {
  return PumpUntil([edit, reportLines] { return ControlLineCount(edit) >= reportLines; }, 120s);
}

std::vector<LONG> TabStops(HWND edit, int line) {
  const LRESULT start = ::SendMessageA(edit, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
  ::SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(start), start);
  PARAFORMAT format{};
  format.cbSize = sizeof format;
  ::SendMessageA(edit, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format));
  return std::vector<LONG>(format.rgxTabs, format.rgxTabs + std::min<int>(format.cTabCount, MAX_TAB_STOPS));
}

// A viewer in the host window that has shown the long listing, whose first
// part only is in the control; expected is the engine's report of it.
class ReportFill : public ::testing::Test {
protected:
  TViewer& ShowListing(bool withInterface) {
    viewer.emplace(host.Get(), withInterface);
    ShowLongListing(*viewer, expected.LineCount());
    return *viewer;
  }

  THostWindow host;
  std::optional<TViewer> viewer;
  const korvane::TMemoryReportView expected = EngineReport(LongListingSample().Path());
};

// That the joined pieces hold the whole document's text, styles and stops
// is tested natively with the RTF writer; here the control takes them so.
TEST_F(ReportFill, AfterTheFillTheControlHoldsExactlyTheReportWithItsStylesAndStops) {
  const HWND edit = ShowListing(false).Report();
  ASSERT_TRUE(PumpUntilFilled(edit, expected.LineCount()));
  EXPECT_EQ(ReportText(edit), JoinedLines(expected));
  // The pieces went in below the window: the view is still at the start,
  // also once it is drawn again, and the scroll bar spans the whole report.
  ::InvalidateRect(edit, nullptr, FALSE);
  ::UpdateWindow(edit);
  EXPECT_EQ(::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  SCROLLINFO bar{};
  bar.cbSize = sizeof bar;
  bar.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  ASSERT_TRUE(::GetScrollInfo(edit, SB_VERT, &bar));
  EXPECT_EQ(bar.nPos, 0);
  POINTL lastLine{};
  ::SendMessageA(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&lastLine),
                 ::SendMessageA(edit, EM_LINEINDEX, static_cast<WPARAM>(expected.LineCount() - 1), 0));
  EXPECT_GT(lastLine.y, 0);
  // Rich Edit 1.0 keeps the range within 16 bits.
  EXPECT_GE(bar.nMax, std::min<LONG>(lastLine.y, 0xFFFF)) << "the range grew with the pieces";
  // The last line, in the last piece, keeps its format and the export stops.
  const int last = expected.LineCount() - 1;
  ASSERT_NE(expected.Line(last).Text.find("LongListingFunction"), std::string::npos);
  EXPECT_EQ(LineFormat(edit, last).yHeight, expected.Line(last).Size * 20);
  EXPECT_FALSE(TabStops(edit, last).empty());
  EXPECT_EQ(TabStops(edit, last), TabStops(edit, last - 1));
  // Nothing of the fill is left to undo in a read-only report.
  EXPECT_EQ(::SendMessageA(edit, EM_CANUNDO, 0, 0), 0);
}

// ShowFile returns with what the window shows, the caret at the start, and
// the user meets only lines that are in while the rest arrives.
TEST_F(ReportFill, TheFirstScreenIsInAtOnceAndScrollingOrResizingMeetsOnlyLinesThatAreIn) {
  const HWND edit = ShowListing(false).Report();
  RECT client{};
  ::GetClientRect(edit, &client);
  const LRESULT held = ControlLineCount(edit);
  // The line at the window's bottom edge is in, and the lines before it are
  // the report's.
  POINTL corner{client.left + 1, client.bottom - 1};
  const LRESULT lastShown = ::SendMessageA(
      edit, EM_LINEFROMCHAR,
      static_cast<WPARAM>(::SendMessageA(edit, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&corner))), 0);
  EXPECT_LT(lastShown + 1, held) << "lines beyond the window's last are in too";
  for (int line = 0; line <= lastShown; ++line)
    ASSERT_EQ(ControlLine(edit, line), expected.Line(line).Text) << "line " << line;
  CHARRANGE caret{-1, -1};
  ::SendMessageA(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  EXPECT_EQ(caret.cpMin, 0);
  EXPECT_EQ(caret.cpMax, 0);
  EXPECT_EQ(::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  // As far down as the control goes: its last lines, which are the report's.
  ::SendMessageA(edit, WM_VSCROLL, SB_BOTTOM, 0);
  const LRESULT first = ::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
  const LRESULT now = ControlLineCount(edit);
  EXPECT_GT(first, 0);
  ASSERT_LT(first, now);
  EXPECT_EQ(ControlLine(edit, static_cast<int>(first)), expected.Line(static_cast<int>(first)).Text);
  // A smaller and then a larger window during the fill: the control follows
  // the viewer and the report still arrives whole.
  ::MoveWindow(viewer->Get(), 0, 0, 300, 200, TRUE);
  PumpUntil([edit, now] { return ControlLineCount(edit) > now; }, 30s);
  ::MoveWindow(viewer->Get(), 0, 0, 900, 700, TRUE);
  ASSERT_TRUE(PumpUntilFilled(edit, expected.LineCount()));
  RECT viewerClient{};
  ::GetClientRect(viewer->Get(), &viewerClient);
  RECT control{};
  ::GetWindowRect(edit, &control);
  EXPECT_EQ(control.right - control.left, viewerClient.right);
  EXPECT_EQ(control.bottom - control.top, viewerClient.bottom);
  EXPECT_EQ(ReportText(edit), JoinedLines(expected));
}

TEST_F(ReportFill, TheUsersSelectionAndScrollPositionStayWhilePiecesArrive) {
  const HWND edit = ShowListing(false).Report();
  CHARRANGE chosen{300, 420};
  ::SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&chosen));
  ::SendMessageA(edit, EM_LINESCROLL, 0, 25);
  const LRESULT firstLine = ::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(firstLine, 0);
  ASSERT_TRUE(PumpUntilFilled(edit, expected.LineCount()));
  CHARRANGE now{};
  ::SendMessageA(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&now));
  EXPECT_EQ(now.cpMin, chosen.cpMin);
  EXPECT_EQ(now.cpMax, chosen.cpMax);
  // Wine's control scrolls a long report in steps coarser than a line, so
  // the view comes back to within one line of where the user had it, also
  // once the control is drawn again.
  for (const bool drawn : {false, true}) {
    SCOPED_TRACE(drawn ? "drawn again" : "as the fill left it");
    if (drawn) {
      ::InvalidateRect(edit, nullptr, FALSE);
      ::UpdateWindow(edit);
    }
    EXPECT_NEAR(static_cast<double>(::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0)), static_cast<double>(firstLine),
                1.0);
  }
}

TEST_F(ReportFill, SelectAllThenCopyDuringTheFillCopiesTheWholeReport) {
  ShowListing(true);
  viewer->Command(MenuCommand(viewer->Menu, "Select &all\tCtrl+A"));
  viewer->Command(MenuCommand(viewer->Menu, "&Copy\tCtrl+C"));
  EXPECT_EQ(ClipboardText(), JoinedLines(expected));
}

TEST_F(ReportFill, AnotherFileDuringTheFillLeavesExactlyItsReport) {
  ShowListing(false);
  ASSERT_EQ(viewer->Show(Samples().Listing.Path()), -1) << LastErrorText();
  const std::string shown = JoinedLines(EngineReport(Samples().Listing.Path()));
  // No piece of the long report arrives later.
  PumpUntil([] { return false; }, 1500ms);
  EXPECT_EQ(ReportText(viewer->Report()), shown);
  int controls = 0;
  for (HWND child = nullptr; (child = ::FindWindowExA(viewer->Get(), child, "RICHEDIT", nullptr)) != nullptr;)
    ++controls;
  EXPECT_EQ(controls, 1);
}

TEST_F(ReportFill, DestroyingTheViewerDuringTheFillLeavesNothingBehind) {
  // The first long report loads what stays loaded.
  ShowListing(false);
  viewer.reset();
  PumpPending();
  const TCounts before = Counts();
  const HWND window = ShowListing(false).Get();
  viewer.reset();
  EXPECT_FALSE(::IsWindow(window));
  MSG message{};
  int forTheGoneWindow = 0;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.hwnd == window)
      ++forTheGoneWindow;
    ::DispatchMessageA(&message);
  }
  EXPECT_EQ(forTheGoneWindow, 0);
  const TCounts after = Counts();
  EXPECT_EQ(after.Windows, before.Windows);
  EXPECT_EQ(after.GdiObjects, before.GdiObjects);
  EXPECT_EQ(after.UserObjects, before.UserObjects);
}
} // namespace
