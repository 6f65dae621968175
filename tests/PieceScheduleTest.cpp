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
  EXPECT_EQ(TPieceSchedule::Weight(report, 11, 5), 1000 + Line) << "the count is cut at the end";
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

TEST(PieceSchedule, EachPieceAimsAtTheTimeTheLastOneSuggests) {
  constexpr std::uint64_t KiB = 1024;
  struct TCase {
    const char* Name;
    std::uint64_t Weight;
    double Stream;
    double Message;
    std::uint64_t Next;
  };
  const double aim = TPieceSchedule::PieceMilliseconds;
  const std::vector<TCase> cases = {
      {"took the aim: the same again", 64 * KiB, aim, aim, 64 * KiB},
      {"took twice the aim: half", 64 * KiB, 2 * aim, 2 * aim, 32 * KiB},
      {"ten times too slow: a tenth", 640 * KiB, 10 * aim, 10 * aim, 64 * KiB},
      {"the rest of the message takes its share", 64 * KiB, aim / 2, aim * 3 / 4, 96 * KiB},
      {"however slow the rest, the stream keeps half", 64 * KiB, aim / 2, 5 * aim, 64 * KiB},
      {"quick: at most twice the last", 64 * KiB, aim / 10, aim / 10, 128 * KiB},
      {"no measurable time: twice the last", 64 * KiB, 0, 0, 128 * KiB},
      {"very slow: never below the least", 4 * KiB, 1000 * aim, 1000 * aim, TPieceSchedule::LeastWeight},
      {"a tiny quick piece: the least", 10, aim / 100, aim / 100, TPieceSchedule::LeastWeight},
      {"never above the greatest", TPieceSchedule::GreatestWeight, 0, 0, TPieceSchedule::GreatestWeight},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPieceSchedule schedule;
    schedule.Measured(c.Weight, c.Stream, c.Message);
    EXPECT_EQ(schedule.NextWeight(), c.Next);
  }
  TPieceSchedule schedule;
  const std::uint64_t first = schedule.NextWeight();
  schedule.Measured(0, 5, 5);
  EXPECT_EQ(schedule.NextWeight(), first) << "an empty piece says nothing of the cost";
  // A longer message (the rest of the report for a command) asks for more,
  // still at most twice the last.
  schedule.Measured(64 * KiB, aim / 2, aim);
  EXPECT_EQ(schedule.NextWeight(), 64 * KiB);
  EXPECT_EQ(schedule.NextWeight(1.5 * aim), 128 * KiB);
  EXPECT_EQ(schedule.NextWeight(1.25 * aim), 96 * KiB);
}

} // namespace
} // namespace korvane
