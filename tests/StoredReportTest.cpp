// The report kept within the room the host leaves: lines stored while the
// report may grow, pieces of the fill shortened to what fits, and the too-large line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StoredReport.h"
#include "TestSupport.h"

namespace korvane {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr std::uint64_t GiB = 1024 * MiB;

// A 32-bit process whose free address space the test sets; the commit is ample.
struct TFakeMemory {
  std::uint64_t Free = 1536 * MiB;
  TMemoryStatus operator()() const { return {2 * GiB, Free, 24 * GiB, 20 * GiB}; }
};

// Room for exactly bytes more above the host's reserve of 512 MiB.
std::uint64_t FreeForRoom(std::uint64_t bytes) { return 512 * MiB + bytes; }

std::string ExportLine(int i) { return "\t\t" + std::to_string(i) + "\tExport" + std::to_string(i); }

void AddLines(TStoredReport& report, int count) {
  for (int i = 0; i < count; ++i)
    report.AddLine(ExportLine(i));
}

// Fills the way the viewer does, pieces of pieceLines, each line taking
// bytesPerLine of the fake memory; returns the lines the control got.
int Fill(TStoredReport& report, TFakeMemory& memory, int pieceLines, std::uint64_t bytesPerLine) {
  int filled = 0;
  while (filled < report.Content().LineCount()) {
    const int count = report.PlanPiece(filled, pieceLines);
    memory.Free -= static_cast<std::uint64_t>(count) * bytesPerLine;
    filled += count;
  }
  return filled;
}

TEST(StoredReportFill, AReportThatFitsIsFilledWholeInItsPieces) {
  TFakeMemory memory;
  TStoredReport report([&memory] { return memory(); });
  AddLines(report, 50000);
  EXPECT_EQ(Fill(report, memory, 4096, 6 * 1024), 50000);
  EXPECT_FALSE(report.Truncated());
  EXPECT_EQ(report.Content().LineCount(), 50000);
  EXPECT_EQ(report.Content().LineText(49999), ExportLine(49999));
}

TEST(StoredReportFill, WhereTheRestDoesNotFitTheReportEndsWithTheTooLargeLine) {
  struct TCase {
    std::string Name;
    std::uint64_t Room;
    int Lines;
    int Shown;
  };
  // The first piece is weighed at 8 KiB a line and 128 bytes of RTF a line.
  const std::vector<TCase> cases = {
      {"room for 100 lines of the first piece", 100 * (8 * 1024 + 128), 20000, 100},
      {"no room at all", 0, 20000, 0},
      {"room for all but one line of the first piece", 1023 * (8 * 1024 + 128) + 8000, 20000, 1023},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeMemory memory{FreeForRoom(c.Room)};
    TStoredReport report([&memory] { return memory(); });
    AddLines(report, c.Lines);
    const int first = report.PlanPiece(0, 1024);
    // The lines that fit, and the too-large line after them.
    EXPECT_EQ(first, c.Shown + 1);
    EXPECT_TRUE(report.Truncated());
    const TMemoryReportView& content = report.Content();
    ASSERT_EQ(content.LineCount(), c.Shown + 1);
    if (c.Shown > 0) {
      EXPECT_EQ(content.LineText(c.Shown - 1), ExportLine(c.Shown - 1));
    }
    const TReportLine tooLarge = content.Line(c.Shown);
    EXPECT_EQ(tooLarge.Text, "The report is too large to show here: the first " + std::to_string(c.Shown) + " of " +
                                 std::to_string(c.Lines) + " lines are shown.");
    EXPECT_TRUE(tooLarge.Bold);
    EXPECT_EQ(tooLarge.Colour, ColourRed);
    EXPECT_EQ(tooLarge.Size, ReportBodySize);
    // Once truncated, the rest is the too-large line, whatever the room.
    memory.Free = 0;
    EXPECT_EQ(report.PlanPiece(first, 4096), 0);
  }
}

TEST(StoredReportFill, AFillThatRunsOutOfRoomStopsAboveTheHostsReserve) {
  // 1 GiB of room, lines that take 6 KiB each in the control: the fill
  // learns their cost and stops before the reserve, with the too-large line last.
  TFakeMemory memory{FreeForRoom(GiB)};
  TStoredReport report([&memory] { return memory(); });
  AddLines(report, 400000);
  const int filled = Fill(report, memory, 16384, 6 * 1024);
  EXPECT_TRUE(report.Truncated());
  EXPECT_EQ(filled, report.Content().LineCount());
  EXPECT_GE(memory.Free, 512 * MiB) << "the host's reserve is never touched";
  EXPECT_LT(memory.Free, 512 * MiB + 32 * MiB) << "the room is used";
  const int shown = filled - 1;
  EXPECT_GT(shown, 150000);
  EXPECT_EQ(report.Content().LineText(shown),
            "The report is too large to show here: the first " + std::to_string(shown) + " of 400000 lines are shown.");
}

TEST(StoredReportStore, LinesAreOnlyCountedOnceTheStoredReportMayGrowNoMore) {
  TFakeMemory memory;
  TStoredReport report([&memory] { return memory(); });
  const int stored = 3 * TStoredReport::CheckLines;
  AddLines(report, stored);
  // The next check finds no room for the stored report to double.
  memory.Free = FreeForRoom(64 * 1024);
  for (int i = stored; i < stored + TStoredReport::CheckLines; ++i)
    EXPECT_EQ(report.AddLine(ExportLine(i)), i);
  EXPECT_FALSE(report.Storing());
  const int kept = report.Content().LineCount();
  EXPECT_GE(kept, stored);
  EXPECT_LE(kept, stored + TStoredReport::CheckLines);
  // A text of three lines counts three; a line not stored takes no format.
  EXPECT_EQ(report.AddLine("one\ntwo\nthree"), stored + TStoredReport::CheckLines);
  EXPECT_EQ(report.AddLine("after"), stored + TStoredReport::CheckLines + 3);
  report.FormatLine(kept, 12, ColourRed, true);
  EXPECT_EQ(report.Content().LineCount(), kept);

  // With room for the control again, every stored line goes in, then the too-large line.
  memory.Free = 1536 * MiB;
  const int filled = Fill(report, memory, 4096, 1024);
  EXPECT_EQ(filled, kept + 1);
  EXPECT_EQ(report.Content().LineText(kept), "The report is too large to show here: the first " + std::to_string(kept) +
                                                 " of " + std::to_string(stored + TStoredReport::CheckLines + 4) +
                                                 " lines are shown.");
  EXPECT_FALSE(report.Content().Line(kept - 1).Bold);
}

TEST(StoredReportStore, ANewReportStartsWithRoomWhateverTheLastOneDid) {
  TFakeMemory memory{FreeForRoom(0)};
  TStoredReport report([&memory] { return memory(); });
  AddLines(report, 100);
  report.PlanPiece(0, 100);
  ASSERT_TRUE(report.Truncated());
  memory.Free = 1536 * MiB;
  const std::vector<std::string> names = {"Clear", "SetText", "StopStoring"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    if (name == "SetText") {
      report.SetText("No PE signature found.");
    } else {
      // As the driver starts a report: cleared, then room for its file.
      report.Clear();
      report.ReserveForFile(4096);
    }
    if (name == "StopStoring") {
      // Memory ran out while the report was built: what was stored ends with the too-large line.
      AddLines(report, 10);
      report.StopStoring();
    }
    EXPECT_EQ(report.Truncated(), false);
    const int lines = report.Content().LineCount();
    EXPECT_EQ(Fill(report, memory, 4096, 1024), name == "StopStoring" ? lines + 1 : lines);
    EXPECT_EQ(report.Truncated(), name == "StopStoring");
  }
}

} // namespace
} // namespace korvane
