// The sizes of the fill's pieces: the first screen within its weight, and
// every later piece from the cost of the one before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PieceSchedule.h"

namespace korvane {
namespace {

constexpr std::uint64_t Line = TPieceSchedule::LineWeight;

// count lines of length bytes each (its break included).
TMemoryReportView Lines(int count, std::size_t length) {
  TMemoryReportView report;
  for (int i = 0; i < count; ++i)
    report.AddLine(std::string(length - 1, 'x'));
  return report;
}

TEST(PieceSchedule, LinesAreWeighedByTheirBytesAndTheirNumber) {
  TMemoryReportView report = Lines(10, 100);
  report.AddLine("");
  report.AddLine(std::string(999, 'y'));
  struct TCase {
    const char* Name;
    int First;
    std::uint64_t Weight;
    int Lines; // LinesWithin(first, weight)
  };
  const std::vector<TCase> cases = {
      {"nothing", 0, 0, 1},
      {"exactly three lines", 0, 3 * (100 + Line), 3},
      {"a byte short of three", 0, 3 * (100 + Line) - 1, 2},
      {"the empty line weighs its break and a line", 9, 100 + 1 + 2 * Line, 2},
      {"the long line alone is more than the weight, and still goes", 11, 10, 1},
      {"more than the rest", 5, 1 << 20, 7},
      {"past the end", 12, 1 << 20, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(TPieceSchedule::LinesWithin(report, c.First, c.Weight), c.Lines);
  }
  EXPECT_EQ(TPieceSchedule::Weight(report, 0, 12), 10 * 100 + 1 + 1000 + 12 * Line);
  EXPECT_EQ(TPieceSchedule::Weight(report, 11, 5), 1000 + Line) << "the count stops at the end";
  // Text without a final break: its last line ends with the text.
  TMemoryReportView open;
  open.SetText("ab\ncd");
  EXPECT_EQ(TPieceSchedule::Weight(open, 0, 2), 5 + 2 * Line);
}

TEST(PieceSchedule, TheFirstPieceIsAScreenAndAHalfWithinItsWeight) {
  struct TCase {
    const char* Name;
    int Lines;
    std::size_t Length;
    int ScreenLines;
    int First;
  };
  const int longLines = static_cast<int>(TPieceSchedule::FirstWeight / (1000 + Line));
  const std::vector<TCase> cases = {
      {"a short report goes whole", 20, 30, 30, 20},
      {"a screen and a half of a long report", 5000, 30, 30, 45},
      {"a report within FirstWeight goes whole", 100, 30, 30, 100},
      {"a window of no height counts one line", 5000, 30, 0, 1},
      {"long lines: as many as weigh FirstWeight", 5000, 1000, 30, longLines},
      {"one line longer than FirstWeight goes alone", 3, 64 * 1024, 30, 1},
      {"an empty report", 0, 1, 30, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(TPieceSchedule::FirstPieceLines(Lines(c.Lines, c.Length), c.ScreenLines), c.First);
  }
}

TEST(PieceSchedule, EachPieceAimsAtTheTimeTheFittedCostSuggests) {
  constexpr std::uint64_t KiB = 1024;
  struct TPiece {
    std::uint64_t Weight;
    double Milliseconds;
  };
  struct TCase {
    const char* Name;
    std::vector<TPiece> Pieces;
    std::uint64_t Next;
  };
  const double aim = TPieceSchedule::PieceMilliseconds;
  const std::vector<TCase> cases = {
      {"one piece that took the aim: the same again", {{64 * KiB, aim}}, 64 * KiB},
      {"one piece that took twice the aim: half", {{64 * KiB, 2 * aim}}, 32 * KiB},
      {"quick: at most twice the last", {{64 * KiB, aim / 10}}, 128 * KiB},
      {"no measurable time: twice the last", {{64 * KiB, 0}}, 128 * KiB},
      {"very slow: never below the least", {{4 * KiB, 1000 * aim}}, TPieceSchedule::LeastWeight},
      {"never above the greatest", {{TPieceSchedule::GreatestWeight, 0}}, TPieceSchedule::GreatestWeight},
      // 10 ms and 1 KiB a millisecond: 50 KiB fill the aim.
      {"a small fixed part", {{8 * KiB, 18}, {16 * KiB, 26}, {32 * KiB, 42}}, 50 * KiB},
      // 40 ms fixed: the piece's own part takes as long.
      {"a fixed part of over half the aim", {{8 * KiB, 48}, {16 * KiB, 56}, {32 * KiB, 72}}, 40 * KiB},
      // 150 ms fixed: the piece's own part takes the greatest own time.
      {"a fixed part over the aim", {{64 * KiB, 214}, {128 * KiB, 278}, {256 * KiB, 406}}, 100 * KiB},
      {"an empty piece says nothing of the cost", {{8 * KiB, 18}, {16 * KiB, 26}, {32 * KiB, 42}, {0, 500}}, 50 * KiB},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPieceSchedule schedule;
    for (const TPiece& piece : c.Pieces)
      schedule.Measured(piece.Weight, piece.Milliseconds);
    EXPECT_EQ(schedule.NextWeight(), c.Next);
  }
  // A shorter or a longer message (the rest of the report for a command).
  TPieceSchedule schedule;
  for (const TPiece& piece : cases[6].Pieces)
    schedule.Measured(piece.Weight, piece.Milliseconds);
  EXPECT_NEAR(schedule.FixedMilliseconds(), 10, 1e-9);
  EXPECT_EQ(schedule.NextWeight(aim / 2), 20 * KiB);
  EXPECT_EQ(schedule.NextWeight(5 * aim), 64 * KiB) << "at most twice the last";
  // One message slowed by something else (another process, the user's
  // scroll) leaves the fixed part as the other pieces measured it.
  TPieceSchedule steady;
  for (const TPiece& piece : {TPiece{8 * KiB, 18}, {16 * KiB, 26}, {32 * KiB, 42}, {24 * KiB, 34}, {20 * KiB, 130}})
    steady.Measured(piece.Weight, piece.Milliseconds);
  EXPECT_NEAR(steady.FixedMilliseconds(), 10, 1e-9);
  // The next piece takes far longer than its weight said (the control
  // holds more lines): the pieces get smaller.
  schedule.Measured(50 * KiB, 100);
  EXPECT_LT(schedule.NextWeight(), 40 * KiB);
}

} // namespace
} // namespace korvane
