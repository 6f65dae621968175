// korvane.dll as a host uses it: loaded with LoadLibrary, driven through its
// four exports, its menu, tool bar, accelerators and dialogs, under Wine on
// the project's own display.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ByteView.h"
#include "Errors.h"
#include "Exports.h"
#include "Harness.h"
#include "korvane/KorvaneHost.h"
#include "LoadedImage.h"
#include "MemoryReportView.h"
#include "ModuleTable.h"
#include "PeBuilder.h"
#include "Platform.h"
#include "ReportDriver.h"
#include "TestSupport.h"

namespace {

using korvane::TDestroyViewerWindow;
using korvane::test::ChooseFile;
using korvane::test::ExeFolder;
using korvane::test::IsPrintDialog;
using korvane::test::LastErrorText;
using korvane::test::MenuCommand;
using korvane::test::MenuText;
using korvane::test::Module;
using korvane::test::ModulePath;
using korvane::test::PressButton;
using korvane::test::PumpPending;
using korvane::test::PumpUntil;
using korvane::test::Received;
using korvane::test::ResetHostState;
using korvane::test::Samples;
using korvane::test::TBox;
using korvane::test::TDialogWatcher;
using korvane::test::TDosBuilder;
using korvane::test::TPeBuilder;
using korvane::test::TTempFile;
using namespace std::chrono_literals;

// One visible host window serves every test (Wine takes seconds to map a
// new top-level window on a display without a window manager).
class THostWindow {
public:
  THostWindow() { ResetHostState(); }
  HWND Get() const { return korvane::test::RecordingHostWindow(); }
};

// A viewer with or without the interface, destroyed at the end of the test.
class TViewer {
public:
  TViewer(HWND host, bool withUi) {
    FWindow =
        Module().CreateViewerWindow(host, host, 0xDEADBEEF, withUi ? TRUE : FALSE, &Menu, &ToolBar, &Accelerators);
  }
  ~TViewer() {
    if (FWindow != nullptr)
      Module().DestroyViewerWindow(FWindow);
    if (Accelerators != nullptr)
      ::DestroyAcceleratorTable(Accelerators);
  }
  TViewer(const TViewer&) = delete;
  TViewer& operator=(const TViewer&) = delete;

  HWND Get() const { return FWindow; }
  HWND Report() const { return korvane::test::ReportOf(FWindow); }
  HWND HiddenToolBar() const { return ::FindWindowExA(FWindow, nullptr, TOOLBARCLASSNAMEA, nullptr); }
  BOOL Show(const std::string& path, std::string* kind = nullptr) {
    char buffer[korvane::KindTextCapacity + 8] = "untouched";
    const BOOL result = Module().ShowFile(FWindow, path.c_str(), buffer);
    if (kind != nullptr)
      *kind = buffer;
    return result;
  }
  void Command(WORD id, HWND control = nullptr) {
    ::SendMessageA(FWindow, WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(control));
  }

  HMENU Menu = reinterpret_cast<HMENU>(0x1111);
  HWND ToolBar = reinterpret_cast<HWND>(0x2222);
  HACCEL Accelerators = nullptr;

private:
  HWND FWindow = nullptr;
};

// ---- reading the viewer back ----

std::vector<std::string> ControlLines(HWND edit) {
  std::vector<std::string> lines;
  const auto count = static_cast<int>(::SendMessageA(edit, EM_GETLINECOUNT, 0, 0));
  for (int i = 0; i < count; ++i)
    lines.push_back(korvane::test::ControlLine(edit, i));
  return lines;
}

CHARFORMATA LineFormat(HWND edit, int line) {
  const LRESULT start = ::SendMessageA(edit, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
  const LRESULT length = ::SendMessageA(edit, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
  ::SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(start), start + length);
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  ::SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format;
}

korvane::TMemoryReportView EngineReport(const std::string& path) {
  korvane::TMemoryReportView view;
  korvane::TReportDriver driver(view);
  driver.BuildReport(path);
  return view;
}

std::string SystemText(DWORD code) {
  std::string text = korvane::platform::SystemText(static_cast<int>(code));
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.'))
    text.pop_back();
  return text;
}

// ===================================================================

// The export table is the host's contract: read it with our own readers.
TEST(ModuleExports, NamesOrdinalsAndModuleNameAsTheHostExpects) {
  const korvane::platform::TReadOnlyFile file(ModulePath());
  const korvane::platform::TFileMapping mapping(file);
  ASSERT_TRUE(mapping.Valid());
  const korvane::platform::TMappedView mapped(mapping);
  ASSERT_TRUE(mapped.Valid());
  const korvane::TByteView bytes(mapped.Data(), mapped.Size());
  const auto machine = sizeof(void*) == 8 ? korvane::test::TModuleMachine::Amd64 : korvane::test::TModuleMachine::I386;
  EXPECT_EQ(korvane::test::KorvaneModuleFaults(korvane::test::ReadModuleTables(bytes), machine),
            std::vector<std::string>{});
  if (sizeof(void*) == 8)
    return; // the engine lists the exports of PE32 files only

  const std::uint32_t peOffset = bytes.ReadDWord(0x3C, "e_lfanew");
  korvane::TLoadedImage image(bytes, peOffset);
  const std::uint32_t exportRva = bytes.ReadDWord(std::uint64_t{peOffset} + 120, "export directory");
  ASSERT_NE(exportRva, 0u);
  korvane::TMemoryReportView listing;
  korvane::ReportExports(listing, image, exportRva);
  // Each name with its entry of the ordinal table (ordinal minus the base 1).
  const std::vector<std::string> expected = {"",
                                             "Exports",
                                             "",
                                             "Ordinal\tFunction",
                                             "0003\tCreateViewerWindow",
                                             "0001\tDestroyViewerWindow",
                                             "0000\tGetLastErrorText",
                                             "0002\tShowFile"};
  std::vector<std::string> lines = korvane::test::ReportLines(listing);
  while (!lines.empty() && lines.back().empty())
    lines.pop_back();
  EXPECT_EQ(lines, expected);
}

TEST(ModuleExports, VersionResourceNamesTheModule) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(ModulePath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(::GetFileVersionInfoA(ModulePath().c_str(), 0, size, info.data()));
  char* name = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\OriginalFilename",
                               reinterpret_cast<void**>(&name), &length));
  EXPECT_STREQ(name, "korvane.dll");
}

TEST(ShowFileResults, KindsOfFilesAndFailures) {
  THostWindow host;
  const struct {
    const char* Name;
    std::string Path;
    BOOL Result;
    const char* Kind;
  } rows[] = {
      {"MS-DOS program", Samples().Dos.Path(), -1, "MS DOS Executable"},
      {"PE32", Samples().Pe32.Path(), -1, "Portable Executable"},
      {"PE32+", Samples().Pe32Plus.Path(), -1, "Portable Executable"},
      {"16-bit module", Samples().Win16.Path(), -1, "Portable Executable"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    TViewer viewer(host.Get(), false);
    std::string kind;
    EXPECT_EQ(viewer.Show(row.Path, &kind), row.Result) << LastErrorText();
    EXPECT_EQ(kind, row.Kind);
    EXPECT_TRUE(::IsWindowVisible(viewer.Get()));
  }
  {
    SCOPED_TRACE("an empty file keeps the kind of a new viewer");
    TViewer viewer(host.Get(), false);
    std::string kind;
    EXPECT_EQ(viewer.Show(Samples().Empty.Path(), &kind), -1);
    EXPECT_EQ(kind, "MS DOS Executable");
    EXPECT_EQ(::GetWindowTextLengthA(viewer.Report()), 0);
  }
}

TEST(ShowFileResults, FailuresLeaveTheirMessageUntilTheNextFailure) {
  THostWindow host;
  TViewer viewer(host.Get(), false);
  const std::string missing = Samples().Dos.Folder() + "\\no-such-file.exe";
  std::string kind;
  EXPECT_EQ(viewer.Show(missing, &kind), FALSE);
  EXPECT_EQ(kind, "untouched");
  EXPECT_EQ(LastErrorText(), "System Error.  Code: 2.\r\n" + SystemText(2));

  EXPECT_EQ(viewer.Show(Samples().Dos.Path(), &kind), -1);
  EXPECT_EQ(LastErrorText(), "System Error.  Code: 2.\r\n" + SystemText(2)) << "a success keeps the old text";

  const struct {
    const char* Name;
    HWND Window;
    const char* FileName;
    bool KindBuffer;
    const char* Message;
  } rows[] = {
      {"a window without a viewer", host.Get(), "x.exe", true, "The window is not a Korvane viewer"},
      {"no window", nullptr, "x.exe", true, "The window is not a Korvane viewer"},
      {"no file name", viewer.Get(), nullptr, true, "No file name was given"},
      {"no kind buffer", viewer.Get(), "x.exe", false, "No buffer for the file's kind was given"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    char buffer[32] = "untouched";
    EXPECT_EQ(Module().ShowFile(row.Window, row.FileName, row.KindBuffer ? buffer : nullptr), FALSE);
    EXPECT_EQ(LastErrorText(), row.Message);
    EXPECT_STREQ(buffer, "untouched");
  }
}

TEST(LastErrorTextLimits, CopiesAtMostTheBufferAndNeverOutsideIt) {
  THostWindow host;
  TViewer viewer(host.Get(), false);
  Module().ShowFile(host.Get(), "x.exe", nullptr); // "The window is not a Korvane viewer"
  const struct {
    const char* Name;
    int MaxLength;
    std::string Expected; // the buffer afterwards, up to its first zero
  } rows[] = {
      {"maxLength 1 writes only the zero", 1, ""},
      {"maxLength 4 writes three characters", 4, "The"},
      {"maxLength 0 writes nothing", 0, "########"},
      {"a negative maxLength writes nothing", -5, "########"},
      {"a large buffer gets the whole text", 200, "The window is not a Korvane viewer"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    buffer[8] = '\0';
    Module().GetLastErrorText(buffer, row.MaxLength);
    EXPECT_EQ(std::string(buffer), row.Expected);
  }
  Module().GetLastErrorText(nullptr, 100); // a null buffer is ignored
}

TEST(CreateViewerWindow, WithoutTheInterfaceTheOutValuesStayAndTheBarHides) {
  THostWindow host;
  TViewer viewer(host.Get(), false);
  ASSERT_NE(viewer.Get(), nullptr) << LastErrorText();
  EXPECT_EQ(viewer.Menu, reinterpret_cast<HMENU>(0x1111));
  EXPECT_EQ(viewer.ToolBar, reinterpret_cast<HWND>(0x2222));
  EXPECT_EQ(viewer.Accelerators, nullptr);
  EXPECT_EQ(::GetParent(viewer.Get()), host.Get());
  EXPECT_FALSE(::IsWindowVisible(viewer.Get())) << "hidden until the first ShowFile";
  char text[64] = {};
  ::GetWindowTextA(viewer.Get(), text, sizeof text);
  EXPECT_STREQ(text, "KorvaneFrame");
  const HWND bar = viewer.HiddenToolBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(::IsWindowVisible(bar));
  RECT rect{};
  ::GetWindowRect(bar, &rect);
  EXPECT_EQ(rect.right - rect.left, 124);
  EXPECT_EQ(rect.bottom - rect.top, 24);
  const int lefts[] = {0, 23, 31, 54, 62, 85, 93};
  ASSERT_EQ(::SendMessageA(bar, TB_BUTTONCOUNT, 0, 0), 7);
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    RECT button{};
    ::SendMessageA(bar, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button));
    EXPECT_EQ(button.left, lefts[i]);
  }
}

TEST(CreateViewerWindow, WithTheInterfaceTheHostGetsMenuBarAndAccelerators) {
  THostWindow host;
  TViewer viewer(host.Get(), true);
  ASSERT_NE(viewer.Get(), nullptr) << LastErrorText();
  EXPECT_TRUE(::IsMenu(viewer.Menu));
  EXPECT_EQ(::GetParent(viewer.ToolBar), host.Get());
  EXPECT_TRUE(::IsWindowVisible(viewer.ToolBar));
  EXPECT_EQ(viewer.HiddenToolBar(), nullptr) << "the bar has left the form";
  EXPECT_NE(viewer.Accelerators, nullptr);

  // Null out-pointers are left alone.
  const HWND second = Module().CreateViewerWindow(host.Get(), host.Get(), 0, TRUE, nullptr, nullptr, nullptr);
  EXPECT_NE(second, nullptr) << LastErrorText();
  Module().DestroyViewerWindow(second);
}

TEST(CreateViewerWindow, AFailedCallLeavesTheHostNoHandleOfAGoneViewer) {
  THostWindow host;
  // A parent that is no window: the viewer cannot be made.
  const auto noWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFE));
  ASSERT_FALSE(::IsWindow(noWindow));
  for (const BOOL withUi : {TRUE, FALSE}) {
    SCOPED_TRACE(withUi ? "with the interface" : "without");
    const auto stale = reinterpret_cast<HMENU>(static_cast<INT_PTR>(0x1230));
    HMENU menu = stale;
    HWND bar = reinterpret_cast<HWND>(stale);
    HACCEL accelerators = reinterpret_cast<HACCEL>(stale);
    EXPECT_EQ(Module().CreateViewerWindow(host.Get(), noWindow, 0, withUi, &menu, &bar, &accelerators), nullptr);
    EXPECT_FALSE(LastErrorText().empty());
    // With the interface the out-values are 0; without it they are not touched.
    EXPECT_EQ(menu, withUi ? nullptr : stale);
    EXPECT_EQ(bar, withUi ? nullptr : reinterpret_cast<HWND>(stale));
    EXPECT_EQ(accelerators, withUi ? nullptr : reinterpret_cast<HACCEL>(stale));
  }
}

TEST(MenuAndShortcuts, ItemTextsAndTheAcceleratorTable) {
  THostWindow host;
  TViewer viewer(host.Get(), true);
  ASSERT_TRUE(::IsMenu(viewer.Menu));
  ASSERT_EQ(::GetMenuItemCount(viewer.Menu), 2);
  EXPECT_EQ(MenuText(viewer.Menu, 0), "&File");
  EXPECT_EQ(MenuText(viewer.Menu, 1), "&Edit");
  const std::vector<std::vector<std::string>> items = {
      {"&Open...\tF3", "", "&Print\tF9", "", "E&xit\tEsc"},
      {"&Copy\tCtrl+C", "", "Select &all\tCtrl+A", "", "&Find...\tF7"}};
  for (UINT top = 0; top < 2; ++top) {
    HMENU popup = ::GetSubMenu(viewer.Menu, static_cast<int>(top));
    ASSERT_EQ(::GetMenuItemCount(popup), 5);
    for (UINT i = 0; i < 5; ++i) {
      SCOPED_TRACE(items[top][i]);
      EXPECT_EQ(MenuText(popup, i), items[top][i]);
      MENUITEMINFOA info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_FTYPE;
      ::GetMenuItemInfoA(popup, i, TRUE, &info);
      EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, items[top][i].empty());
    }
  }

  std::vector<ACCEL> table(16);
  const int count = ::CopyAcceleratorTableA(viewer.Accelerators, table.data(), static_cast<int>(table.size()));
  ASSERT_EQ(count, 6);
  const struct {
    BYTE Flags;
    WORD Key;
    const char* Item;
  } expected[] = {
      {3, VK_F3, "&Open...\tF3"},          {3, VK_F9, "&Print\tF9"},
      {3, VK_ESCAPE, "E&xit\tEsc"},        {3 | 8, 'C', "&Copy\tCtrl+C"},
      {3 | 8, 'A', "Select &all\tCtrl+A"}, {3, VK_F7, "&Find...\tF7"},
  };
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(expected[i].Item);
    EXPECT_EQ(table[static_cast<std::size_t>(i)].fVirt, expected[i].Flags);
    EXPECT_EQ(table[static_cast<std::size_t>(i)].key, expected[i].Key);
    EXPECT_EQ(table[static_cast<std::size_t>(i)].cmd, MenuCommand(viewer.Menu, expected[i].Item));
    EXPECT_NE(table[static_cast<std::size_t>(i)].cmd, 0);
  }
}

TEST(MenuAndShortcuts, CommandIdsAreTheLowestFreeInTheModule) {
  THostWindow host;
  WORD firstOpen = 0;
  {
    TViewer first(host.Get(), true);
    firstOpen = MenuCommand(first.Menu, "&Open...\tF3");
    TViewer second(host.Get(), true);
    const WORD secondOpen = MenuCommand(second.Menu, "&Open...\tF3");
    EXPECT_NE(secondOpen, firstOpen) << "two live viewers never share an id";
    EXPECT_NE(MenuCommand(second.Menu, "E&xit\tEsc"), MenuCommand(first.Menu, "E&xit\tEsc"));
  }
  TViewer again(host.Get(), true);
  EXPECT_EQ(MenuCommand(again.Menu, "&Open...\tF3"), firstOpen) << "ids given back are taken again";
}

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

TEST(FormResize, TheToolBarFollowsTheViewersWidth) {
  THostWindow host;
  for (const bool withUi : {false, true}) {
    SCOPED_TRACE(withUi ? "bar in the host" : "bar hidden in the form");
    TViewer viewer(host.Get(), withUi);
    ::MoveWindow(viewer.Get(), 0, 24, 300, 200, TRUE);
    const HWND bar = withUi ? viewer.ToolBar : viewer.HiddenToolBar();
    RECT rect{};
    ::GetWindowRect(bar, &rect);
    EXPECT_EQ(rect.right - rect.left, 300);
    EXPECT_EQ(rect.bottom - rect.top, 24);
    RECT edit{};
    ::GetWindowRect(viewer.Report(), &edit);
    EXPECT_EQ(edit.right - edit.left, 300);
    EXPECT_EQ(edit.bottom - edit.top, 200);
  }
}

TEST(Commands, SelectAllThenCopyPutsTheWholeReportOnTheClipboard) {
  THostWindow host;
  TViewer viewer(host.Get(), true);
  ASSERT_EQ(viewer.Show(ModulePath()), -1) << LastErrorText();
  viewer.Command(MenuCommand(viewer.Menu, "Select &all\tCtrl+A"));
  viewer.Command(MenuCommand(viewer.Menu, "&Copy\tCtrl+C"));
  // The control holds the lines with a break between each two.
  std::string expected;
  for (const std::string& line : korvane::test::ReportLines(EngineReport(ModulePath())))
    expected += (expected.empty() ? "" : "\r\n") + line;
  EXPECT_EQ(korvane::test::ClipboardText(), expected);
}

TEST(Commands, ToolBarButtonsRunTheirActionsInTheHostWindow) {
  THostWindow host;
  TViewer viewer(host.Get(), true);
  ASSERT_EQ(viewer.Show(Samples().Dos.Path()), -1) << LastErrorText();
  ::OpenClipboard(nullptr);
  ::EmptyClipboard();
  ::CloseClipboard();
  viewer.Command(MenuCommand(viewer.Menu, "Select &all\tCtrl+A"));
  // A click on the Copy button (the fifth item, left 62).
  RECT button{};
  ::SendMessageA(viewer.ToolBar, TB_GETITEMRECT, 4, reinterpret_cast<LPARAM>(&button));
  const LPARAM centre = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);
  ::SendMessageA(viewer.ToolBar, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  ::SendMessageA(viewer.ToolBar, WM_LBUTTONUP, 0, centre);
  PumpPending();
  EXPECT_EQ(korvane::test::ClipboardText().substr(0, 9), "dos.exe\r\n");

  // Hints come from the actions, asked of the module's own window.
  const auto tips = reinterpret_cast<HWND>(::SendMessageA(viewer.ToolBar, TB_GETTOOLTIPS, 0, 0));
  ASSERT_NE(tips, nullptr);
  const char* hints[] = {"Open", nullptr, "Print", nullptr, "Copy", nullptr, "Find"};
  for (int i = 0; i < 7; ++i) {
    if (hints[i] == nullptr)
      continue;
    SCOPED_TRACE(hints[i]);
    TBBUTTON info{};
    ::SendMessageA(viewer.ToolBar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&info));
    char text[80] = {};
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = viewer.ToolBar;
    tool.uId = static_cast<UINT_PTR>(info.idCommand);
    tool.lpszText = text;
    ::SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(tool.lpszText, hints[i]);
  }
}

TEST(Commands, ExitAndForwardedCommands) {
  THostWindow host;
  TViewer viewer(host.Get(), true);
  ASSERT_EQ(viewer.Show(Samples().Dos.Path()), -1);
  viewer.Command(0x7FFF);                                                 // no item has it
  viewer.Command(MenuCommand(viewer.Menu, "E&xit\tEsc"), viewer.ToolBar); // from the bar: ignored
  PumpPending();
  EXPECT_EQ(Received(WM_VIEWER_CLOSE).size(), 0u);

  viewer.Command(MenuCommand(viewer.Menu, "E&xit\tEsc"));
  EXPECT_TRUE(PumpUntil([] { return !Received(WM_VIEWER_CLOSE).empty(); }, 5s));
  PumpPending();
  EXPECT_EQ(Received(WM_VIEWER_CLOSE).size(), 1u);
  EXPECT_TRUE(::IsWindow(viewer.Get())) << "Exit leaves the viewer to the host";
  EXPECT_EQ(ControlLines(viewer.Report())[0], "dos.exe");
}

TEST(OpenCommand, CancelChoiceAndFailureThroughTheRealDialog) {
  THostWindow host;
  TViewer viewer(host.Get(), true);
  ASSERT_EQ(viewer.Show(Samples().Dos.Path()), -1);
  const WORD open = MenuCommand(viewer.Menu, "&Open...\tF3");
  TDialogWatcher watcher(host.Get());
  {
    SCOPED_TRACE("cancel changes nothing");
    watcher.OnOpenDialog([](HWND dialog) { PressButton(dialog, IDCANCEL); });
    viewer.Command(open);
    EXPECT_EQ(watcher.StepsDone(), 1);
  }
  EXPECT_EQ(ControlLines(viewer.Report())[0], "dos.exe");
  EXPECT_TRUE(Received(WM_VIEWER_FILEOPENED).empty());
  {
    SCOPED_TRACE("a chosen file rebuilds the report");
    watcher.OnOpenDialog(ChooseFile(Samples().Pe32.Path()));
    viewer.Command(open);
  }
  EXPECT_EQ(ControlLines(viewer.Report())[0], "pe32.dll");
  const auto opened = Received(WM_VIEWER_FILEOPENED);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].FileName, Samples().Pe32.Path());
  EXPECT_EQ(opened[0].KindText, "Portable Executable");
  {
    SCOPED_TRACE("a file held open for writing shows the error box");
    const std::string path = Samples().Dos.Path();
    HANDLE writer = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    watcher.OnOpenDialog(ChooseFile(path));
    viewer.Command(open);
    ::CloseHandle(writer);
    EXPECT_EQ(watcher.StepsDone(), 3) << "the third open dialog of the test";
    const std::vector<TBox> boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "System Error.  Code: 32.\r\n" + SystemText(32) + ".");
    // The program's name less its extension, all but the first character lower case.
    EXPECT_EQ(boxes[0].Caption, "korvane-viewer-tests");
    EXPECT_TRUE(boxes[0].ErrorIcon);
  }
  EXPECT_EQ(Received(WM_VIEWER_FILEOPENED).size(), 1u) << "a failed Open tells the host nothing";
  EXPECT_EQ(::GetWindowTextLengthA(viewer.Report()), 0) << "the failed report is empty";
  EXPECT_EQ(watcher.UnexpectedDialogs(), 0);
}

// Run by tests/win32/print_test.sh, which sets up and checks the CUPS queue.
TEST(PrintCommand, DISABLED_OneJobNamedLikeTheFirstLine) {
  THostWindow host;
  TViewer viewer(host.Get(), true);
  const char* path = std::getenv("KORVANE_PRINT_FILE");
  ASSERT_NE(path, nullptr);
  ASSERT_EQ(viewer.Show(path), -1) << LastErrorText();
  TDialogWatcher watcher(host.Get());
  watcher.OnDialog(IsPrintDialog, [](HWND dialog) { PressButton(dialog, IDOK); });
  viewer.Command(MenuCommand(viewer.Menu, "&Print\tF9"));
  EXPECT_EQ(watcher.StepsDone(), 1);
}

TEST(Lifetime, SeveralViewersAndDestroyingTwice) {
  THostWindow host;
  TViewer first(host.Get(), true);
  TViewer second(host.Get(), false);
  ASSERT_EQ(first.Show(Samples().Dos.Path()), -1);
  ASSERT_EQ(second.Show(Samples().Pe32.Path()), -1);
  EXPECT_EQ(ControlLines(first.Report())[0], "dos.exe");
  EXPECT_EQ(ControlLines(second.Report())[0], "pe32.dll");

  const HWND third = Module().CreateViewerWindow(host.Get(), host.Get(), 0, FALSE, nullptr, nullptr, nullptr);
  ASSERT_NE(third, nullptr);
  Module().DestroyViewerWindow(third);
  EXPECT_FALSE(::IsWindow(third));
  Module().DestroyViewerWindow(third);      // nothing the second time
  Module().DestroyViewerWindow(host.Get()); // a window without a viewer: nothing
  EXPECT_TRUE(::IsWindow(host.Get()));
  char kind[32] = {};
  EXPECT_EQ(Module().ShowFile(third, Samples().Dos.Path().c_str(), kind), FALSE);
}

struct TCounts {
  int Windows;
  DWORD Handles;
  DWORD GdiObjects;
  DWORD UserObjects;
};

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  ::EnumChildWindows(window, CountChild, count);
  return TRUE;
}

TCounts Counts() {
  TCounts counts{};
  ::EnumThreadWindows(::GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&counts.Windows));
  // Message-only windows are found only by name of their parent.
  for (HWND sink = nullptr; (sink = ::FindWindowExA(HWND_MESSAGE, sink, nullptr, nullptr)) != nullptr;)
    ++counts.Windows;
  // A census of kernel handles: Wine's GetProcessHandleCount reports 0.
  for (UINT_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      ++counts.Handles;
  }
  counts.GdiObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  counts.UserObjects = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
  return counts;
}

TEST(Lifetime, CreateShowDestroyCyclesLeaveCountsFlat) {
  THostWindow host;
  auto cycle = [&host] {
    HMENU menu = nullptr;
    HWND bar = nullptr;
    HACCEL accelerators = nullptr;
    const HWND viewer = Module().CreateViewerWindow(host.Get(), host.Get(), 0, TRUE, &menu, &bar, &accelerators);
    ASSERT_NE(viewer, nullptr) << LastErrorText();
    char kind[32] = {};
    EXPECT_EQ(Module().ShowFile(viewer, Samples().Pe32.Path().c_str(), kind), -1);
    Module().DestroyViewerWindow(viewer);
    EXPECT_FALSE(::IsWindow(bar));
    EXPECT_FALSE(::IsMenu(menu));
    ::DestroyAcceleratorTable(accelerators); // the host's to destroy
  };
  for (int i = 0; i < 5; ++i) // first use loads libraries and classes
    cycle();
  PumpPending();
  const TCounts before = Counts();
  for (int i = 0; i < 200; ++i)
    cycle();
  PumpPending();
  const TCounts after = Counts();
  EXPECT_EQ(after.Windows, before.Windows);
  EXPECT_EQ(after.Handles, before.Handles);
  EXPECT_EQ(after.GdiObjects, before.GdiObjects);
  EXPECT_EQ(after.UserObjects, before.UserObjects);
  std::printf("windows %d, handles %lu, GDI objects %lu, USER objects %lu\n", after.Windows, after.Handles,
              after.GdiObjects, after.UserObjects);
}

TEST(Lifetime, AViewerWhoseParentIsDestroyedGoesWithIt) {
  THostWindow host;
  auto cycle = [&host] {
    HWND parent = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 200, host.Get(), nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    HMENU menu = nullptr;
    HWND bar = nullptr;
    HACCEL accelerators = nullptr;
    const HWND viewer = Module().CreateViewerWindow(host.Get(), parent, 0, TRUE, &menu, &bar, &accelerators);
    ASSERT_NE(viewer, nullptr) << LastErrorText();
    ::DestroyWindow(parent); // without DestroyViewerWindow
    EXPECT_FALSE(::IsWindow(bar)) << "the bar in the host window goes with the viewer";
    EXPECT_FALSE(::IsMenu(menu));
    Module().DestroyViewerWindow(viewer); // no viewer any more: nothing
    ::DestroyAcceleratorTable(accelerators);
  };
  cycle();
  const TCounts before = Counts();
  for (int i = 0; i < 20; ++i)
    cycle();
  const TCounts after = Counts();
  EXPECT_EQ(after.Windows, before.Windows);
  EXPECT_EQ(after.Handles, before.Handles);
}

// ---- a riched32.dll planted beside the host ----

// The planted riched32.dll sets this variable in any process that loads it.
constexpr const char* PlantedMark = "KORVANE_PLANTED_RICHED32";
// A copy of this program run with this option is the host beside the plant.
constexpr const char* PlantedHostOption = "--planted-host";

bool PlantLoaded() {
  char mark[16] = {};
  return ::GetEnvironmentVariableA(PlantedMark, mark, sizeof mark) != 0;
}

std::string ModuleFileName(HMODULE module) {
  char path[MAX_PATH + 1] = {};
  const DWORD length = module == nullptr ? 0 : ::GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, length);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return text;
}

// The host side, in the copy of this program: a viewer shows sample, then
// what the process holds goes to result as "key value" lines. As a control,
// bareFirst loads riched32.dll by its bare name first, as a careless host
// would.
int RunPlantedHost(bool bareFirst, const char* sample, const char* result) {
  const std::unique_ptr<HINSTANCE__, decltype(&::FreeLibrary)> bare(
      bareFirst ? ::LoadLibraryA("riched32.dll") : nullptr, &::FreeLibrary);
  const std::unique_ptr<HWND__, decltype(&::DestroyWindow)> host(
      ::CreateWindowExA(0, "STATIC", "Planted host", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500, nullptr, nullptr,
                        ::GetModuleHandleA(nullptr), nullptr),
      &::DestroyWindow);
  const std::unique_ptr<HWND__, TDestroyViewerWindow> viewer(
      host == nullptr ? nullptr
                      : Module().CreateViewerWindow(host.get(), host.get(), 0, FALSE, nullptr, nullptr, nullptr),
      Module().DestroyViewerWindow);
  std::string error = viewer == nullptr ? LastErrorText() : std::string();
  char kind[korvane::KindTextCapacity + 1] = {};
  const BOOL shown = viewer == nullptr ? FALSE : Module().ShowFile(viewer.get(), sample, kind);
  if (viewer != nullptr && shown == FALSE)
    error = LastErrorText();
  const std::string richEdit = ModuleFileName(::GetModuleHandleA("riched32.dll"));
  const bool planted = PlantLoaded();

  std::ofstream out(result);
  out << "viewer " << (viewer != nullptr ? 1 : 0) << "\n"
      << "shown " << shown << "\n"
      << "kind " << kind << "\n"
      << "richedit " << richEdit << "\n"
      << "planted " << (planted ? "yes" : "no") << "\n"
      << "error " << error << "\n";
  out.flush();
  return out.good() ? 0 : 1;
}

// Wine's own riched32.dll is built in, and by default Wine maps that code
// under the name of a riched32.dll file it finds beside a program. For the
// copied host only, Wine here loads the file, as Windows always does.
// Windows has no use for the key; it goes with the object.
class TWinePrefersFiles {
public:
  explicit TWinePrefersFiles(const std::string& program) : FKey("Software\\Wine\\AppDefaults\\" + program) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, (FKey + "\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &opened, nullptr) != ERROR_SUCCESS)
      return;
    const std::unique_ptr<HKEY__, decltype(&::RegCloseKey)> key(opened, &::RegCloseKey);
    static const char order[] = "native,builtin";
    FSet = ::RegSetValueExA(key.get(), "riched32", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order) ==
           ERROR_SUCCESS;
  }
  ~TWinePrefersFiles() { ::RegDeleteTreeA(HKEY_CURRENT_USER, FKey.c_str()); }
  TWinePrefersFiles(const TWinePrefersFiles&) = delete;
  TWinePrefersFiles& operator=(const TWinePrefersFiles&) = delete;

  bool Set() const { return FSet; }

private:
  std::string FKey;
  bool FSet = false;
};

// The exit code of the program, or -1 when it had to be ended after the
// timeout (-2 when it did not start).
long RunProgram(std::string commandLine, const std::string& folder, DWORD timeoutMilliseconds) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info))
    return -2;
  ::CloseHandle(info.hThread);
  const std::unique_ptr<void, decltype(&::CloseHandle)> process(info.hProcess, &::CloseHandle);
  if (::WaitForSingleObject(info.hProcess, timeoutMilliseconds) != WAIT_OBJECT_0) {
    ::TerminateProcess(info.hProcess, 99);
    ::WaitForSingleObject(info.hProcess, 5000);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(info.hProcess, &code);
  return static_cast<long>(code);
}

std::map<std::string, std::string> ReadKeyValues(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const std::size_t space = line.find(' ');
    if (space != std::string::npos)
      values[line.substr(0, space)] = line.substr(space + 1);
  }
  return values;
}

// riched32.dll is not a known DLL: loaded by its bare name, the one in the
// host's folder (or the current folder) would run in the host. A copy of
// this program, korvane.dll and the plant share a folder of their own.
TEST(SystemLibraries, TheRichEditComesFromTheSystemFolderNotFromBesideTheHost) {
  const TTempFile sample(TPeBuilder().Build(), "sample.dll");
  const std::string folder = sample.Folder() + "\\";
  const std::string host = folder + "korvane-planted-host.exe";
  const TWinePrefersFiles override("korvane-planted-host.exe");
  ASSERT_TRUE(override.Set());
  const std::string plant = folder + "riched32.dll";
  ASSERT_TRUE(::CopyFileA(ModuleFileName(::GetModuleHandleA(nullptr)).c_str(), host.c_str(), TRUE));
  ASSERT_TRUE(::CopyFileA(ModulePath().c_str(), (folder + "korvane.dll").c_str(), TRUE));
  ASSERT_TRUE(::CopyFileA((ExeFolder() + KORVANE_PLANTED_RICHED32).c_str(), plant.c_str(), TRUE));
  ASSERT_EQ(::GetFileAttributesA((ExeFolder() + "riched32.dll").c_str()), INVALID_FILE_ATTRIBUTES)
      << "nothing planted lies beside the real programs";
  const auto runHost = [&](const char* mode) {
    const std::string result = folder + mode + ".txt";
    const long code = RunProgram("\"" + host + "\" " + PlantedHostOption + " " + mode + " \"" + sample.Path() +
                                     "\" \"" + result + "\"",
                                 folder, 60000);
    EXPECT_EQ(code, 0) << mode;
    return ReadKeyValues(result);
  };

  // The control: a bare name does reach the plant, and the plant is seen.
  auto bare = runHost("bare");
  EXPECT_EQ(bare["planted"], "yes");
  EXPECT_EQ(Lower(bare["richedit"]), Lower(plant));

  auto found = runHost("viewer");
  char folder32[MAX_PATH + 1] = {};
  std::vector<std::string> systemCopies = {
      Lower(std::string(folder32, ::GetSystemDirectoryA(folder32, MAX_PATH)) + "\\riched32.dll")};
  // A 32-bit host on 64-bit Windows is given the WOW64 folder's library.
  if (sizeof(void*) == 4) {
    const UINT length = ::GetSystemWow64DirectoryA(folder32, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
      systemCopies.push_back(Lower(std::string(folder32, length) + "\\riched32.dll"));
  }
  EXPECT_EQ(found["planted"], "no");
  EXPECT_NE(std::find(systemCopies.begin(), systemCopies.end(), Lower(found["richedit"])), systemCopies.end())
      << found["richedit"] << " is not " << systemCopies[0];
  EXPECT_EQ(found["viewer"], "1") << found["error"];
  EXPECT_EQ(found["shown"], "-1") << found["error"];
  EXPECT_EQ(found["kind"], "Portable Executable");
}

// ---- a report long enough to reach the control in pieces ----

LRESULT ControlLineCount(HWND edit) { return ::SendMessageA(edit, EM_GETLINECOUNT, 0, 0); }

// The report's lines as the control holds them: a break between each two.
std::string JoinedLines(const korvane::TMemoryReportView& report) {
  std::string joined;
  for (const std::string& line : korvane::test::ReportLines(report))
    joined += (joined.empty() ? "" : "\r\n") + line;
  return joined;
}

// Shows the long listing; the control holds only its first part then.
void ShowLongListing(TViewer& viewer, int reportLines) {
  ASSERT_EQ(viewer.Show(korvane::test::LongListingSample().Path()), -1) << LastErrorText();
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

TEST(ReportFill, AfterTheFillTheControlHoldsExactlyTheReportWithItsStylesAndStops) {
  THostWindow host;
  TViewer viewer(host.Get(), false);
  const korvane::TMemoryReportView expected = EngineReport(korvane::test::LongListingSample().Path());
  ShowLongListing(viewer, expected.LineCount());
  const HWND edit = viewer.Report();
  ASSERT_TRUE(PumpUntilFilled(edit, expected.LineCount()));
  EXPECT_EQ(korvane::test::ReportText(edit), JoinedLines(expected));
  // Lines of every piece, the last included: their characters' formats, and
  // the same tab stops on every export line as on the first.
  const std::vector<std::string> lines = korvane::test::ReportLines(expected);
  const auto isExport = [](const std::string& line) { return line.find("LongListingFunction") != std::string::npos; };
  const auto firstExport = static_cast<int>(std::find_if(lines.begin(), lines.end(), isExport) - lines.begin());
  ASSERT_LT(firstExport, expected.LineCount());
  const std::vector<LONG> exportStops = TabStops(edit, firstExport);
  EXPECT_FALSE(exportStops.empty());
  for (int i = 0; i < expected.LineCount(); i += (i < 40 ? 1 : 997)) {
    const korvane::TReportLine line = expected.Line(i);
    SCOPED_TRACE("line " + std::to_string(i) + ": " + line.Text);
    if (line.Text.empty())
      continue;
    const CHARFORMATA format = LineFormat(edit, i);
    EXPECT_EQ(format.yHeight, line.Size * 20);
    EXPECT_EQ((format.dwEffects & CFE_BOLD) != 0, line.Bold);
    if (isExport(line.Text)) {
      EXPECT_EQ(TabStops(edit, i), exportStops);
    }
  }
  EXPECT_EQ(TabStops(edit, expected.LineCount() - 1), exportStops);
  // Nothing of the fill is left to undo in a read-only report.
  EXPECT_EQ(::SendMessageA(edit, EM_CANUNDO, 0, 0), 0);
}

TEST(ReportFill, TheUsersSelectionAndScrollPositionStayWhilePiecesArrive) {
  THostWindow host;
  TViewer viewer(host.Get(), false);
  const korvane::TMemoryReportView expected = EngineReport(korvane::test::LongListingSample().Path());
  ShowLongListing(viewer, expected.LineCount());
  const HWND edit = viewer.Report();
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
  // the view comes back to within one line of where the user had it.
  EXPECT_NEAR(static_cast<double>(::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0)), static_cast<double>(firstLine),
              1.0);
}

TEST(ReportFill, SelectAllThenCopyDuringTheFillCopiesTheWholeReport) {
  THostWindow host;
  TViewer viewer(host.Get(), true);
  const korvane::TMemoryReportView expected = EngineReport(korvane::test::LongListingSample().Path());
  ShowLongListing(viewer, expected.LineCount());
  viewer.Command(MenuCommand(viewer.Menu, "Select &all\tCtrl+A"));
  viewer.Command(MenuCommand(viewer.Menu, "&Copy\tCtrl+C"));
  EXPECT_EQ(korvane::test::ClipboardText(), JoinedLines(expected));
}

TEST(ReportFill, AnotherFileDuringTheFillLeavesExactlyItsReport) {
  THostWindow host;
  TViewer viewer(host.Get(), false);
  const korvane::TMemoryReportView expected = EngineReport(korvane::test::LongListingSample().Path());
  ShowLongListing(viewer, expected.LineCount());
  ASSERT_EQ(viewer.Show(Samples().Listing.Path()), -1) << LastErrorText();
  const std::string shown = JoinedLines(EngineReport(Samples().Listing.Path()));
  // No piece of the long report arrives later.
  PumpUntil([] { return false; }, 1500ms);
  EXPECT_EQ(korvane::test::ReportText(viewer.Report()), shown);
  int controls = 0;
  for (HWND child = nullptr; (child = ::FindWindowExA(viewer.Get(), child, "RICHEDIT", nullptr)) != nullptr;)
    ++controls;
  EXPECT_EQ(controls, 1);
}

TEST(ReportFill, DestroyingTheViewerDuringTheFillLeavesNothingBehind) {
  THostWindow host;
  {
    // The first long report loads what stays loaded.
    TViewer viewer(host.Get(), false);
    ASSERT_EQ(viewer.Show(korvane::test::LongListingSample().Path()), -1) << LastErrorText();
  }
  PumpPending();
  const TCounts before = Counts();
  HWND window = nullptr;
  {
    TViewer viewer(host.Get(), false);
    window = viewer.Get();
    ShowLongListing(viewer, EngineReport(korvane::test::LongListingSample().Path()).LineCount());
  }
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

// Ends the process if a test hangs in a modal loop: a failure, never a hang.
DWORD WINAPI Watchdog(LPVOID seconds) {
  ::Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(seconds)) * 1000);
  std::fputs("korvane-viewer-tests: watchdog expired, a UI wait hung\n", stderr);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), 3);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (Module().Handle == nullptr) {
    std::fprintf(stderr, "cannot load %s\n", ModulePath().c_str());
    return 1;
  }
  ::CloseHandle(::CreateThread(nullptr, 0, Watchdog, reinterpret_cast<LPVOID>(UINT_PTR{480}), 0, nullptr));
  if (argc == 5 && std::strcmp(argv[1], PlantedHostOption) == 0)
    return RunPlantedHost(std::strcmp(argv[2], "bare") == 0, argv[3], argv[4]);
  return RUN_ALL_TESTS();
}
