// korvane.dll in a host that leaves it little room: the host reserves most
// of its own address space before ShowFile, as a host with much data of its
// own would have it. A report that does not fit ends with the too-large line after
// the last line that fits; the host survives, the commands work on what is
// shown, and the next small file is shown whole. A process of its own: the
// reservations stay for its whole life.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FillBudget.h"
#include "Harness.h"
#include "MemoryReportView.h"
#include "ProcessMemory.h"
#include "ReportDriver.h"

namespace {

using korvane::test::LastErrorText;
using korvane::test::MenuCommand;
using korvane::test::Module;
using korvane::test::PressButton;
using korvane::test::PumpUntil;
using korvane::test::TDialogWatcher;
using korvane::test::TTempFile;
using namespace std::chrono_literals;

constexpr std::uint64_t MiB = 1024 * 1024;
// The room the viewer is left: some tens of thousands of report lines.
constexpr std::uint64_t LeftRoom = 128 * MiB;
constexpr int ReportExports = 200000;
constexpr const char* TooLargeLineStart = "The report is too large to show here: the first ";

// Reserves address space, in blocks from large to small, until what the
// viewer may take of it is about room; gives it back when it goes.
class TAddressSpaceHog {
public:
  explicit TAddressSpaceHog(std::uint64_t room) {
    std::uint64_t block = std::uint64_t{1} << 30;
    while (block >= MiB) {
      const korvane::TMemoryStatus status = korvane::viewer::ProcessMemoryStatus();
      const std::uint64_t reserve = status.AddressSpace / 4;
      const std::uint64_t left = status.FreeAddressSpace > reserve ? status.FreeAddressSpace - reserve : 0;
      if (left < room + MiB)
        break;
      const std::uint64_t wanted = std::min(block, left - room) & ~(MiB - 1);
      if (void* taken = ::VirtualAlloc(nullptr, static_cast<SIZE_T>(wanted), MEM_RESERVE, PAGE_READWRITE))
        FBlocks.push_back(taken);
      else
        block = wanted / 2;
    }
  }
  ~TAddressSpaceHog() {
    for (void* block : FBlocks)
      ::VirtualFree(block, 0, MEM_RELEASE);
  }
  TAddressSpaceHog(const TAddressSpaceHog&) = delete;
  TAddressSpaceHog& operator=(const TAddressSpaceHog&) = delete;

private:
  std::vector<void*> FBlocks;
};

korvane::test::TBytes ManyExportsDll() {
  korvane::test::TPeBuilder builder;
  for (int i = 0; i < ReportExports; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "LittleRoomExport%06d", i);
    builder.Export(name, static_cast<std::uint16_t>(i));
  }
  return builder.Build();
}

int ControlLineCount(HWND edit) { return static_cast<int>(::SendMessageA(edit, EM_GETLINECOUNT, 0, 0)); }

bool EndsWithTooLargeLine(HWND edit) {
  return korvane::test::ControlLine(edit, ControlLineCount(edit) - 1).rfind(TooLargeLineStart, 0) == 0;
}

TEST(LittleRoom, AReportThatDoesNotFitEndsWithTheTooLargeLineAndTheHostGoesOn) {
  if (sizeof(void*) == 8)
    GTEST_SKIP() << "Wine keeps page tables for reserved address space: reserving most of a 64-bit host's 128 TiB "
                    "takes more memory than the machine has. The rules of truncation are tested in StoredReport*.";
  const TTempFile big{ManyExportsDll(), "littleroom.dll"};
  const TTempFile& small = korvane::test::Samples().Listing;
  // The reports as the engine writes them, made before the room is taken.
  const korvane::TMemoryReportView expected = korvane::test::EngineReport(big.Path());
  const korvane::TMemoryReportView expectedSmall = korvane::test::EngineReport(small.Path());
  ASSERT_GT(expected.LineCount(), ReportExports);

  const HWND host = korvane::test::RecordingHostWindow();
  korvane::test::ResetHostState();
  HMENU menu = nullptr;
  HWND toolBar = nullptr;
  HACCEL accelerators = nullptr;
  const HWND viewer = Module().CreateViewerWindow(host, host, 0, TRUE, &menu, &toolBar, &accelerators);
  ASSERT_NE(viewer, nullptr) << LastErrorText();
  const auto command = [viewer](WORD id) { ::SendMessageA(viewer, WM_COMMAND, MAKEWPARAM(id, 0), 0); };

  const TAddressSpaceHog hog(LeftRoom);
  const std::uint64_t room = korvane::TFillBudget::Room(korvane::viewer::ProcessMemoryStatus());
  ASSERT_LE(room, LeftRoom + 2 * MiB);
  ASSERT_GT(room, LeftRoom / 2);

  char kind[korvane::KindTextCapacity] = {};
  ASSERT_EQ(Module().ShowFile(viewer, big.Path().c_str(), kind), -1) << LastErrorText();
  EXPECT_STREQ(kind, "Portable Executable");
  const HWND edit = korvane::test::ReportOf(viewer);
  ASSERT_TRUE(PumpUntil([edit] { return EndsWithTooLargeLine(edit); }, 240s))
      << "the fill ends with the too-large line";
  korvane::test::PumpPending();

  // The first shown lines are the report's, and the too-large line counts them.
  const int shown = ControlLineCount(edit) - 1;
  EXPECT_GT(shown, 1000);
  EXPECT_LT(shown, expected.LineCount());
  EXPECT_EQ(korvane::test::ControlLine(edit, shown), std::string(TooLargeLineStart) + std::to_string(shown) + " of " +
                                                         std::to_string(expected.LineCount()) + " lines are shown.");
  int differing = 0;
  for (int i = 0; i < shown; ++i)
    if (korvane::test::ControlLine(edit, i) != expected.LineText(i) && ++differing <= 3)
      ADD_FAILURE() << "line " << i << ": " << korvane::test::ControlLine(edit, i) << " | " << expected.LineText(i);
  EXPECT_EQ(differing, 0);
  // The too-large line is the report's error line: bold and red.
  const CHARFORMATA format = korvane::test::LineFormat(edit, shown);
  EXPECT_NE(format.dwEffects & CFE_BOLD, 0u);
  EXPECT_EQ(format.crTextColor, RGB(255, 0, 0));
  EXPECT_EQ(format.yHeight, korvane::ReportBodySize * 20);

  // Select all and Copy: what is shown, too-large line included.
  command(MenuCommand(menu, "Select &all\tCtrl+A"));
  command(MenuCommand(menu, "&Copy\tCtrl+C"));
  const std::string copied = korvane::test::ClipboardText();
  EXPECT_EQ(copied.substr(0, expected.LineText(0).size()), expected.LineText(0));
  EXPECT_NE(copied.find(expected.LineText(shown - 1)), std::string::npos);
  EXPECT_EQ(copied.substr(copied.size() - std::strlen("lines are shown.")), "lines are shown.");

  {
    // Find: the last shown line is found; the first line after the truncation is not there.
    TDialogWatcher watcher(host);
    // The search starts after the selection, which Select all left at the end.
    ::SendMessageA(edit, EM_SETSEL, 0, 0);
    command(MenuCommand(menu, "&Find...\tF7"));
    ASSERT_TRUE(PumpUntil([] { return korvane::test::HostState.FindDialog.load() != nullptr; }, 10s));
    const HWND dialog = korvane::test::HostState.FindDialog.load();
    const std::string lastShown = expected.LineText(shown - 1).substr(expected.LineText(shown - 1).rfind('\t') + 1);
    ::SetDlgItemTextA(dialog, korvane::test::FindWhatControl, lastShown.c_str());
    ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    CHARRANGE selection{};
    ::SendMessageA(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    EXPECT_EQ(::SendMessageA(edit, EM_LINEFROMCHAR, static_cast<WPARAM>(selection.cpMin), 0), shown - 1);
    const std::string cutOff = expected.LineText(shown).substr(expected.LineText(shown).rfind('\t') + 1);
    ::SetDlgItemTextA(dialog, korvane::test::FindWhatControl, cutOff.c_str());
    ::SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(watcher.Boxes().size(), 1u) << "not found: " << cutOff;
    EXPECT_EQ(watcher.Boxes()[0].Text, "Cannot find '" + cutOff + "'.");
    ::SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    korvane::test::PumpPending();

    // Print: one job without a failure box.
    watcher.OnDialog(korvane::test::IsPrintDialog, [](HWND printDialog) { PressButton(printDialog, IDOK); });
    command(MenuCommand(menu, "&Print\tF9"));
    EXPECT_EQ(watcher.StepsDone(), 1);
    EXPECT_EQ(watcher.Boxes().size(), 1u) << "no box after the not-found one";
    EXPECT_EQ(watcher.UnexpectedDialogs(), 0);
  }

  // The next small file is shown whole.
  ASSERT_EQ(Module().ShowFile(viewer, small.Path().c_str(), kind), -1) << LastErrorText();
  const HWND smallEdit = korvane::test::ReportOf(viewer);
  ASSERT_TRUE(
      PumpUntil([smallEdit, &expectedSmall] { return ControlLineCount(smallEdit) >= expectedSmall.LineCount(); }, 30s));
  korvane::test::PumpPending();
  EXPECT_EQ(korvane::test::ReportText(smallEdit), [&expectedSmall] {
    std::string joined;
    for (int i = 0; i < expectedSmall.LineCount(); ++i)
      joined += (i == 0 ? "" : "\r\n") + expectedSmall.LineText(i);
    return joined;
  }());
  EXPECT_FALSE(EndsWithTooLargeLine(smallEdit));

  Module().DestroyViewerWindow(viewer);
  EXPECT_FALSE(::IsWindow(viewer));
  EXPECT_FALSE(::IsWindow(toolBar));
  ::DestroyAcceleratorTable(accelerators);
}

} // namespace
