// korvane.dll's four exports as a host calls them: the export table and
// version resource, ShowFile's results and messages, GetLastErrorText's
// limits and what CreateViewerWindow hands the host.
#include <gtest/gtest.h>

#include <cstring>

#include "ByteView.h"
#include "Exports.h"
#include "FileView.h"
#include "Harness.h"
#include "LoadedImage.h"
#include "ModuleTable.h"
#include "Platform.h"

namespace {

using namespace korvane::test;

// The export table is the host's contract: read it with our own readers.
TEST(ModuleExports, NamesOrdinalsAndModuleNameAsTheHostExpects) {
  const korvane::platform::TReadOnlyFile file(ModulePath());
  korvane::TFileView view(file);
  ASSERT_FALSE(view.Empty());
  const korvane::TByteView bytes = view.Bytes();
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

// Setup programs of gigabytes: a sample DLL followed by appended data (a
// sparse file) shows the sample's own report; the 32-bit module maps it in
// windows, the 64-bit one whole.
TEST(ShowFileResults, FilesOfGigabytesShowTheReportOfWhatTheyHold) {
  THostWindow host;
  TViewer viewer(host.Get(), false);
  const korvane::TMemoryReportView expected = EngineReport(Samples().Pe32.Path());
  for (const std::uint64_t gigabytes : {std::uint64_t{3}, std::uint64_t{5}}) {
    SCOPED_TRACE(std::to_string(gigabytes) + " GiB");
    const std::string path = Samples().Pe32.Folder() + "\\grown.dll";
    ASSERT_TRUE(::CopyFileA(Samples().Pe32.Path().c_str(), path.c_str(), FALSE));
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size{};
    size.QuadPart = static_cast<LONGLONG>(gigabytes << 30);
    const bool grown = ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    ::CloseHandle(file);
    ASSERT_TRUE(grown);
    std::string kind;
    EXPECT_EQ(viewer.Show(path, &kind), -1) << LastErrorText();
    EXPECT_EQ(kind, "Portable Executable");
    std::vector<std::string> lines = ControlLines(viewer.Report());
    std::vector<std::string> want = korvane::test::ReportLines(expected);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "grown.dll");
    lines.erase(lines.begin());
    want.erase(want.begin());
    EXPECT_EQ(lines, want);
    ::DeleteFileA(path.c_str());
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
} // namespace
