// The messages between korvane.dll and its host, and Find in the report: the
// harness's recording host drives the module as a real host does (menu
// commands and translated shortcut keys forwarded to the viewer), and the Find
// dialog is driven through its own controls, under Wine on the project's
// display.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Harness.h"
#include "korvane/KorvaneHost.h"

namespace {

using korvane::test::ChooseFile;
using korvane::test::FindWhatControl;
using korvane::test::HostState;
using korvane::test::MatchCaseControl;
using korvane::test::MenuCommand;
using korvane::test::Module;
using korvane::test::PressButton;
using korvane::test::PumpPending;
using korvane::test::Received;
using korvane::test::RecordingHostTitle;
using korvane::test::ReportText;
using korvane::test::ResetHostState;
using korvane::test::Samples;
using korvane::test::TBox;
using korvane::test::TDialogWatcher;
using korvane::test::WholeWordControl;
using namespace std::chrono_literals;

// The recording host window holding a viewer with its menu, tool bar and
// accelerators, as the demo host does.
class THostedViewer {
public:
  THostedViewer() {
    ResetHostState();
    FHost = korvane::test::RecordingHostWindow();
    Viewer = Module().CreateViewerWindow(FHost, FHost, 0, TRUE, &Menu, &ToolBar, &Accelerators);
    HostState.Viewer = Viewer;
    ::SetMenu(FHost, Menu);
  }
  ~THostedViewer() {
    ::SetMenu(FHost, nullptr);
    HostState.Viewer = nullptr;
    Module().DestroyViewerWindow(Viewer);
    if (Accelerators != nullptr)
      ::DestroyAcceleratorTable(Accelerators);
    PumpPending();
  }
  THostedViewer(const THostedViewer&) = delete;
  THostedViewer& operator=(const THostedViewer&) = delete;

  HWND Host() const { return FHost; }
  HWND Report() const { return korvane::test::ReportOf(Viewer); }

  BOOL Show(const std::string& path) {
    char kind[KORVANE_KIND_TEXT_CAPACITY] = {};
    return Module().ShowFile(Viewer, path.c_str(), kind);
  }

  // The host's forwarding of a menu choice, as its window procedure gets it.
  void Choose(const std::string& itemText, HWND control = nullptr) {
    ::SendMessageA(FHost, WM_COMMAND, MAKEWPARAM(ItemId(itemText), 0), reinterpret_cast<LPARAM>(control));
  }

  // A key pressed in the host window, through the host's accelerator table.
  bool PressKey(WORD key, bool control = false) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    const BYTE saved = keys[VK_CONTROL];
    keys[VK_CONTROL] = control ? 0x80 : 0;
    ::SetKeyboardState(keys);
    MSG message{FHost, WM_KEYDOWN, key, 1, 0, {}};
    const bool translated = ::TranslateAcceleratorA(FHost, Accelerators, &message) != 0;
    keys[VK_CONTROL] = saved;
    ::SetKeyboardState(keys);
    return translated;
  }

  // The command id of the menu item with this text, anywhere in the menu.
  WORD ItemId(const std::string& text) const {
    const WORD id = MenuCommand(Menu, text);
    if (id == 0)
      ADD_FAILURE() << "no menu item " << text;
    return id;
  }

  std::vector<WORD> AllItemIds() const {
    std::vector<WORD> ids;
    for (int top = 0; top < ::GetMenuItemCount(Menu); ++top) {
      HMENU popup = ::GetSubMenu(Menu, top);
      for (int i = 0; i < ::GetMenuItemCount(popup); ++i)
        ids.push_back(static_cast<WORD>(::GetMenuItemID(popup, i)));
    }
    return ids;
  }

  HWND Viewer = nullptr;
  HMENU Menu = nullptr;
  HWND ToolBar = nullptr;
  HACCEL Accelerators = nullptr;

private:
  HWND FHost = nullptr;
};

// ---- the find dialog, driven through its controls ----

struct TSelection {
  LONG Start;
  std::string Text;
};

TSelection SelectionOf(HWND edit) {
  CHARRANGE range{};
  ::SendMessageA(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  std::string text(static_cast<std::size_t>(range.cpMax - range.cpMin) + 1, '\0');
  const auto length = ::SendMessageA(edit, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return {range.cpMin, text};
}

HWND OpenFindDialog(THostedViewer& viewer) {
  viewer.Choose("&Find...\tF7");
  const auto shown = Received(WM_VIEWER_DIALOG);
  return shown.empty() ? nullptr : reinterpret_cast<HWND>(shown.back().LParam);
}

// One press of Find Next with the dialog's text and check boxes set first.
// Returns once the search (and any not-found box) is over.
void FindNext(HWND dialog, const std::string& text, bool matchCase = false, bool wholeWord = false) {
  ::SetDlgItemTextA(dialog, FindWhatControl, text.c_str());
  ::CheckDlgButton(dialog, MatchCaseControl, matchCase ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(dialog, WholeWordControl, wholeWord ? BST_CHECKED : BST_UNCHECKED);
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// Where the text occurs in the report, non-overlapping from start, as the
// user expects the search to find it: letters compared with or without case,
// a whole word bounded by characters that are not letters, digits or "_".
std::vector<LONG> Occurrences(const std::string& report, const std::string& text, bool matchCase, bool wholeWord,
                              std::size_t start = 0) {
  auto same = [matchCase](char a, char b) {
    return matchCase ? a == b
                     : std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
  std::vector<LONG> found;
  for (std::size_t at = start; at + text.size() <= report.size();) {
    const bool match = std::equal(text.begin(), text.end(), report.begin() + static_cast<std::ptrdiff_t>(at), same);
    const bool whole = !wholeWord || ((at == 0 || !wordChar(report[at - 1])) &&
                                      (at + text.size() == report.size() || !wordChar(report[at + text.size()])));
    if (match && whole) {
      found.push_back(static_cast<LONG>(at));
      at += text.size();
    } else {
      ++at;
    }
  }
  return found;
}

// ---- forwarded commands ----

TEST(ForwardedCommands, ToolBarHandleIgnoredWhateverTheIdAndUnknownIdsIgnored) {
  THostedViewer viewer;
  ASSERT_NE(viewer.Viewer, nullptr);
  ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1);
  TDialogWatcher watcher(viewer.Host());
  ::SendMessageA(viewer.Report(), EM_SETSEL, 0, 0);
  const std::vector<WORD> ids = viewer.AllItemIds();
  ASSERT_EQ(ids.size(), 10u);
  for (WORD id : ids) {
    SCOPED_TRACE(id);
    ::SendMessageA(viewer.Host(), WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(viewer.ToolBar));
  }
  for (WORD id : {WORD{0}, WORD{0x7FFF}, WORD{0xFFFF}})
    ::SendMessageA(viewer.Host(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
  PumpPending();
  EXPECT_TRUE(HostState.FromViewer.empty()) << "no Exit, no Find, no Open ran";
  EXPECT_EQ(watcher.UnexpectedDialogs(), 0);
  EXPECT_EQ(SelectionOf(viewer.Report()).Text, "") << "Select all did not run";
}

TEST(ForwardedCommands, ExitPostsExactlyOneCloseAndShortcutsReachTheSameCommands) {
  THostedViewer viewer;
  ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1);
  viewer.Choose("E&xit\tEsc");
  EXPECT_TRUE(HostState.FromViewer.empty()) << "posted, not sent";
  PumpPending();
  ASSERT_EQ(Received(WM_VIEWER_CLOSE).size(), 1u);
  EXPECT_EQ(Received(WM_VIEWER_CLOSE)[0].WParam, 0u);
  EXPECT_EQ(Received(WM_VIEWER_CLOSE)[0].LParam, 0);
  EXPECT_TRUE(::IsWindow(viewer.Viewer));

  EXPECT_TRUE(viewer.PressKey(VK_ESCAPE));
  PumpPending();
  EXPECT_EQ(Received(WM_VIEWER_CLOSE).size(), 2u) << "Esc runs Exit";

  ::SendMessageA(viewer.Report(), EM_SETSEL, 0, 0);
  EXPECT_TRUE(viewer.PressKey('A', true));
  EXPECT_EQ(SelectionOf(viewer.Report()).Text.substr(0, 13), "listing.dll\r\n") << "Ctrl+A runs Select all";

  EXPECT_TRUE(viewer.PressKey(VK_F7));
  const auto dialog = Received(WM_VIEWER_DIALOG);
  ASSERT_EQ(dialog.size(), 1u) << "F7 runs Find";
  EXPECT_EQ(dialog[0].WParam, 1u);
  EXPECT_TRUE(::IsWindow(reinterpret_cast<HWND>(dialog[0].LParam)));
}

// ---- Open ----

TEST(OpenCommand, ExactlyOneFileOpenedAfterTheReportAndNoneOnCancelOrFailure) {
  THostedViewer viewer;
  ASSERT_EQ(viewer.Show(Samples().Dos.Path()), -1);
  TDialogWatcher watcher(viewer.Host());
  watcher.OnOpenDialog([](HWND dialog) { PressButton(dialog, IDCANCEL); });
  viewer.Choose("&Open...\tF3");
  EXPECT_TRUE(Received(WM_VIEWER_FILEOPENED).empty()) << "cancelled";

  const std::string path = Samples().Listing.Path();
  watcher.OnOpenDialog(ChooseFile(path));
  EXPECT_TRUE(viewer.PressKey(VK_F3));
  auto opened = Received(WM_VIEWER_FILEOPENED);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].WParam, 0u);
  EXPECT_EQ(opened[0].FileName, path);
  EXPECT_EQ(opened[0].KindText, "Portable Executable");
  EXPECT_EQ(opened[0].ReportTitle, "listing.dll") << "the report was complete when the host was told";

  // A file held open for writing cannot be reported: an error box, no message.
  const std::string locked = Samples().Dos.Path();
  HANDLE writer = ::CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  watcher.OnOpenDialog(ChooseFile(locked));
  viewer.Choose("&Open...\tF3");
  ::CloseHandle(writer);
  EXPECT_EQ(Received(WM_VIEWER_FILEOPENED).size(), 1u) << "a failed report tells the host nothing";
  EXPECT_EQ(watcher.Boxes().size(), 1u) << "the failure was shown";
  EXPECT_EQ(watcher.UnexpectedDialogs(), 0);
}

// ---- Find ----

TEST(FindDialog, ShownAndClosedAreToldOnceAndTheFindHintIsOffMeanwhile) {
  THostedViewer viewer;
  ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1);
  TDialogWatcher watcher(viewer.Host());
  const auto tips = reinterpret_cast<HWND>(::SendMessageA(viewer.ToolBar, TB_GETTOOLTIPS, 0, 0));
  ASSERT_NE(tips, nullptr);
  auto findHint = [&] { return korvane::test::ToolBarHint(viewer.ToolBar, 6); }; // tbbFind
  EXPECT_EQ(findHint(), "Find");

  const HWND dialog = OpenFindDialog(viewer);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(::IsWindowVisible(dialog));
  EXPECT_EQ(findHint(), "");
  viewer.Choose("&Find...\tF7");
  EXPECT_TRUE(viewer.PressKey(VK_F7));
  EXPECT_EQ(Received(WM_VIEWER_DIALOG).size(), 1u) << "Find again only brings the dialog to the top";
  FindNext(dialog, "Gamma", true, true);

  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  PumpPending();
  const auto told = Received(WM_VIEWER_DIALOG);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[1].WParam, 0u);
  EXPECT_EQ(told[1].LParam, 0);
  EXPECT_FALSE(::IsWindow(dialog));
  EXPECT_EQ(findHint(), "Find");

  const HWND again = OpenFindDialog(viewer);
  EXPECT_EQ(Received(WM_VIEWER_DIALOG).size(), 3u) << "a new dialog after the old one closed";
  EXPECT_TRUE(::IsWindowVisible(again));
  char kept[64] = {};
  ::GetDlgItemTextA(again, FindWhatControl, kept, sizeof kept);
  EXPECT_STREQ(kept, "Gamma") << "the dialog keeps its text";
  EXPECT_EQ(::IsDlgButtonChecked(again, MatchCaseControl), BST_CHECKED);
  EXPECT_EQ(::IsDlgButtonChecked(again, WholeWordControl), BST_CHECKED);
  EXPECT_TRUE(watcher.Boxes().empty());
  EXPECT_EQ(watcher.UnexpectedDialogs(), 0);
}

TEST(FindNext, EveryMatchInOrderThenNotFoundOnceThenTheFirstAgain) {
  THostedViewer viewer;
  ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1);
  TDialogWatcher watcher(viewer.Host());
  const std::string report = ReportText(viewer.Report());
  const HWND dialog = OpenFindDialog(viewer);
  ASSERT_NE(dialog, nullptr);
  ::SendMessageA(viewer.Report(), EM_SETSEL, 0, 0);

  const std::vector<LONG> expected = Occurrences(report, "size", false, false);
  ASSERT_GE(expected.size(), 5u);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    FindNext(dialog, "size");
    const TSelection selection = SelectionOf(viewer.Report());
    EXPECT_EQ(selection.Start, expected[i]);
    EXPECT_EQ(selection.Text, report.substr(static_cast<std::size_t>(expected[i]), 4));
  }
  EXPECT_TRUE(watcher.Boxes().empty());
  FindNext(dialog, "size");
  const std::vector<TBox> boxes = watcher.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Cannot find 'size'.");
  EXPECT_EQ(boxes[0].Caption, RecordingHostTitle) << "the host's title, not the viewer's";
  EXPECT_TRUE(boxes[0].InformationIcon);
  EXPECT_TRUE(boxes[0].OwnedByHostWindow) << "owned through the viewer window by the host's top-level window";
  EXPECT_EQ(SelectionOf(viewer.Report()).Start, expected.back()) << "not found keeps the selection";
  EXPECT_TRUE(::IsWindowVisible(dialog)) << "the dialog stays open";

  FindNext(dialog, "size");
  EXPECT_EQ(SelectionOf(viewer.Report()).Start, expected.front());
  EXPECT_EQ(watcher.Boxes().size(), 1u);
}

TEST(FindNext, DuringTheFillFindsALineOfTheLastPiece) {
  THostedViewer viewer;
  ASSERT_EQ(viewer.Show(korvane::test::LongListingSample().Path()), -1);
  TDialogWatcher watcher(viewer.Host());
  ASSERT_EQ(ReportText(viewer.Report()).find(korvane::test::LastLongListingName), std::string::npos)
      << "the last piece is still to come";
  const HWND dialog = OpenFindDialog(viewer);
  ASSERT_NE(dialog, nullptr);
  FindNext(dialog, korvane::test::LastLongListingName, true, true);
  const std::string report = ReportText(viewer.Report());
  const TSelection selection = SelectionOf(viewer.Report());
  EXPECT_EQ(selection.Text, korvane::test::LastLongListingName);
  EXPECT_EQ(static_cast<std::size_t>(selection.Start), report.find(korvane::test::LastLongListingName));
  EXPECT_TRUE(watcher.Boxes().empty());
}

TEST(FindNext, OptionsAndOverlapsAsTheUserExpects) {
  THostedViewer viewer;
  ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1);
  TDialogWatcher watcher(viewer.Host());
  const std::string report = ReportText(viewer.Report());
  const HWND dialog = OpenFindDialog(viewer);
  ASSERT_NE(dialog, nullptr);
  struct TRow {
    const char* Name;
    const char* Text;
    bool MatchCase;
    bool WholeWord;
    std::size_t Matches; // as a check of the sample, not of the search
  };
  const TRow rows[] = {
      {"lower case finds the heading", "exports", false, false, 1},
      {"match case passes over the heading", "exports", true, false, 0},
      {"match case finds the heading", "Exports", true, false, 1},
      {"three equal letters hold one match of two", "qq", false, false, 1},
      {"a word's beginning is no whole word", "Alpha", false, true, 0},
      {"without whole word it is found", "Alpha", false, false, 1},
      {"a whole word", "Gamma", false, true, 1},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::vector<LONG> expected = Occurrences(report, row.Text, row.MatchCase, row.WholeWord);
    ASSERT_EQ(expected.size(), row.Matches);
    // A fresh search from the top, with nothing selected.
    viewer.Choose("&Find...\tF7");
    ::SendMessageA(viewer.Report(), EM_SETSEL, 0, 0);
    const std::size_t boxesBefore = watcher.Boxes().size();
    for (LONG start : expected) {
      FindNext(dialog, row.Text, row.MatchCase, row.WholeWord);
      const TSelection selection = SelectionOf(viewer.Report());
      EXPECT_EQ(selection.Start, start);
      EXPECT_EQ(selection.Text.size(), std::strlen(row.Text));
    }
    EXPECT_EQ(watcher.Boxes().size(), boxesBefore);
    FindNext(dialog, row.Text, row.MatchCase, row.WholeWord);
    ASSERT_EQ(watcher.Boxes().size(), boxesBefore + 1) << "then not found";
    EXPECT_EQ(watcher.Boxes().back().Text, std::string("Cannot find '") + row.Text + "'.");
  }
}

TEST(FindNext, WhereTheNextSearchStarts) {
  THostedViewer viewer;
  ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1);
  TDialogWatcher watcher(viewer.Host());
  const std::string report = ReportText(viewer.Report());
  const HWND dialog = OpenFindDialog(viewer);
  ASSERT_NE(dialog, nullptr);
  ::SendMessageA(viewer.Report(), EM_SETSEL, 0, 0);
  const std::vector<LONG> sizes = Occurrences(report, "size", false, false);
  ASSERT_GE(sizes.size(), 3u);
  FindNext(dialog, "size");
  ASSERT_EQ(SelectionOf(viewer.Report()).Start, sizes[0]);
  {
    SCOPED_TRACE("a moved caret does not move the start for the same text");
    const auto end = static_cast<WPARAM>(report.size());
    ::SendMessageA(viewer.Report(), EM_SETSEL, end, static_cast<LPARAM>(end));
    FindNext(dialog, "size");
    EXPECT_EQ(SelectionOf(viewer.Report()).Start, sizes[1]);
    ::SendMessageA(viewer.Report(), EM_SETSEL, 0, 3);
    FindNext(dialog, "size");
    EXPECT_EQ(SelectionOf(viewer.Report()).Start, sizes[2]);
  }
  {
    SCOPED_TRACE("a changed text starts at the end of the selection");
    const std::vector<LONG> ofs = Occurrences(report, "of", false, false, static_cast<std::size_t>(sizes[2]) + 4);
    ASSERT_FALSE(ofs.empty());
    FindNext(dialog, "of");
    EXPECT_EQ(SelectionOf(viewer.Report()).Start, ofs[0]);
  }
  {
    SCOPED_TRACE("a changed text with nothing selected starts at the top");
    const auto end = static_cast<WPARAM>(report.size());
    ::SendMessageA(viewer.Report(), EM_SETSEL, end, static_cast<LPARAM>(end));
    FindNext(dialog, "size");
    EXPECT_EQ(SelectionOf(viewer.Report()).Start, sizes[0]);
  }
  {
    SCOPED_TRACE("Find chosen again after a failed search starts at the end of the selection");
    const std::vector<LONG> exports = Occurrences(report, "Exports", true, false);
    ASSERT_EQ(exports.size(), 1u);
    FindNext(dialog, "Exports", true);
    EXPECT_EQ(SelectionOf(viewer.Report()).Start, exports[0]);
    FindNext(dialog, "Exports", true);
    ASSERT_EQ(watcher.Boxes().size(), 1u);
    EXPECT_TRUE(viewer.PressKey(VK_F7));
    FindNext(dialog, "Exports", true);
    EXPECT_EQ(watcher.Boxes().size(), 2u) << "not from the top, where it would be found";
    FindNext(dialog, "Exports", true);
    EXPECT_EQ(SelectionOf(viewer.Report()).Start, exports[0]) << "from the top after the box";
  }
  EXPECT_EQ(Received(WM_VIEWER_DIALOG).size(), 1u);
}

TEST(FindNext, OpeningAnotherFileWhileTheDialogIsOpenKeepsThePosition) {
  THostedViewer viewer;
  ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1);
  TDialogWatcher watcher(viewer.Host());
  const HWND dialog = OpenFindDialog(viewer);
  ASSERT_NE(dialog, nullptr);
  ::SendMessageA(viewer.Report(), EM_SETSEL, 0, 0);
  for (int i = 0; i < 3; ++i)
    FindNext(dialog, "size");
  const TSelection third = SelectionOf(viewer.Report());
  const auto position = static_cast<std::size_t>(third.Start) + 4;

  auto open = [&](const std::string& path) {
    watcher.OnOpenDialog(ChooseFile(path));
    viewer.Choose("&Open...\tF3");
  };
  open(Samples().Other.Path());
  ASSERT_EQ(Received(WM_VIEWER_FILEOPENED).size(), 1u);
  const std::string other = ReportText(viewer.Report());
  const std::vector<LONG> expected = Occurrences(other, "size", false, false, position);
  ASSERT_FALSE(expected.empty());
  EXPECT_LT(Occurrences(other, "size", false, false).front(), static_cast<LONG>(position))
      << "the sample holds a match before the kept position";
  FindNext(dialog, "size");
  EXPECT_EQ(SelectionOf(viewer.Report()).Start, expected[0]);

  // A short report leaves the kept position beyond its end: not found, then
  // from the top.
  open(Samples().Dos.Path());
  const std::string dos = ReportText(viewer.Report());
  ASSERT_LT(dos.size(), static_cast<std::size_t>(expected[0]));
  FindNext(dialog, "size");
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  const std::vector<LONG> inDos = Occurrences(dos, "size", false, false);
  ASSERT_FALSE(inDos.empty());
  FindNext(dialog, "size");
  EXPECT_EQ(SelectionOf(viewer.Report()).Start, inDos[0]);
  EXPECT_EQ(Received(WM_VIEWER_DIALOG).size(), 1u) << "the dialog stayed open throughout";
  EXPECT_EQ(watcher.UnexpectedDialogs(), 0);
}

TEST(FindDialog, GoesWithTheViewerAndTheHostIsTold) {
  HWND dialog = nullptr;
  {
    THostedViewer viewer;
    ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1);
    dialog = OpenFindDialog(viewer);
    ASSERT_TRUE(::IsWindow(dialog));
  }
  EXPECT_FALSE(::IsWindow(dialog));
  const auto told = Received(WM_VIEWER_DIALOG);
  ASSERT_EQ(told.size(), 2u) << "a host that routes keys to the dialog must stop";
  EXPECT_EQ(told[1].WParam, 0u);
  EXPECT_EQ(HostState.FindDialog.load(), nullptr);
}

// ---- the demo host korvane-demo-host.exe, driven from outside its process ----

struct TThreadDialog {
  const char* Caption;
  HWND Found;
};

BOOL CALLBACK FindCaptionedDialog(HWND window, LPARAM context) {
  auto* wanted = reinterpret_cast<TThreadDialog*>(context);
  char className[32] = {};
  char caption[64] = {};
  ::GetClassNameA(window, className, sizeof className);
  ::GetWindowTextA(window, caption, sizeof caption);
  if (std::strcmp(className, "#32770") == 0 && std::strcmp(caption, wanted->Caption) == 0 &&
      ::IsWindowVisible(window)) {
    wanted->Found = window;
    return FALSE;
  }
  return TRUE;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end)
      return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// The host process, killed at the end unless it has ended by itself.
class THostProcess {
public:
  explicit THostProcess(const std::string& arguments) {
    std::string commandLine = "\"" + korvane::test::ExeFolder() + "korvane-demo-host.exe\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &FInfo))
      ::CloseHandle(FInfo.hThread);
  }
  ~THostProcess() {
    if (FInfo.hProcess == nullptr)
      return;
    if (::WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT)
      ::TerminateProcess(FInfo.hProcess, 99);
    ::CloseHandle(FInfo.hProcess);
  }
  THostProcess(const THostProcess&) = delete;
  THostProcess& operator=(const THostProcess&) = delete;

  bool Started() const { return FInfo.hProcess != nullptr; }
  // Its window once it holds this title, or nullptr after 30 s.
  HWND WindowTitled(const std::string& title) const {
    HWND found = nullptr;
    WaitFor(
        [&] {
          found = ::FindWindowA("TKorvaneDemoHost", title.c_str());
          return found != nullptr;
        },
        30s);
    return found;
  }
  // The exit code once it has ended by itself, or -1 after 20 s.
  long ExitCode() const {
    if (::WaitForSingleObject(FInfo.hProcess, 20000) != WAIT_OBJECT_0)
      return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(FInfo.hProcess, &code);
    return static_cast<long>(code);
  }

private:
  PROCESS_INFORMATION FInfo{};
};

TEST(DemoHost, TitleNamesFileAndKindKeysReachTheFindDialogAndExitCloses) {
  THostProcess host("--find Exports \"" + Samples().Listing.Path() + "\"");
  ASSERT_TRUE(host.Started());
  const HWND window = host.WindowTitled("listing.dll - Portable Executable");
  ASSERT_NE(window, nullptr);
  TThreadDialog find{"Find", nullptr};
  ASSERT_TRUE(WaitFor(
      [&] {
        ::EnumThreadWindows(::GetWindowThreadProcessId(window, nullptr), FindCaptionedDialog,
                            reinterpret_cast<LPARAM>(&find));
        return find.Found != nullptr;
      },
      20s));

  // Esc typed into the dialog closes the dialog, not the host: the host gives
  // the dialog the keys before its accelerators (where Esc is Exit).
  const HWND edit = ::GetDlgItem(find.Found, FindWhatControl);
  ASSERT_NE(edit, nullptr);
  ::PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_TRUE(WaitFor([&] { return !::IsWindow(find.Found); }, 20s));
  // Once the host has answered, the message that closed the dialog is done.
  DWORD_PTR answer = 0;
  ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
  EXPECT_TRUE(::IsWindow(window)) << "the host is still open";

  // Esc in the host window is Exit: the host destroys the viewer and closes.
  ::PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_EQ(host.ExitCode(), 0);
}

} // namespace
