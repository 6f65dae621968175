// How much of a report the viewer may put into its control: the host's
// reserve, the first estimate of a line, and the cost learnt from the fill.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FillBudget.h"

namespace korvane {
namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr std::uint64_t GiB = 1024 * MiB;

// A 32-bit process of 2 GiB, with free the free address space and ample commit.
TMemoryStatus AddressSpace32(std::uint64_t free) { return {2 * GiB, free, 24 * GiB, 20 * GiB}; }

TEST(FillBudgetRoom, TheHostKeepsAQuarterOfItsAddressSpaceAndOfTheCommit) {
  struct TCase {
    std::string Name;
    TMemoryStatus Status;
    std::uint64_t Room;
  };
  const std::vector<TCase> cases = {
      {"32-bit, 1.5 GiB free", AddressSpace32(1536 * MiB), 1024 * MiB},
      {"32-bit, the reserve free and no more", AddressSpace32(512 * MiB), 0},
      {"32-bit, less than the reserve free", AddressSpace32(100 * MiB), 0},
      {"64-bit, commit decides", {128 * 1024 * GiB, 127 * 1024 * GiB, 24 * GiB, 10 * GiB}, 4 * GiB},
      {"commit below its reserve", {128 * 1024 * GiB, 127 * 1024 * GiB, 24 * GiB, 5 * GiB}, 0},
      {"no commit figures", {2 * GiB, 1536 * MiB, UINT64_MAX, UINT64_MAX}, 1024 * MiB},
      {"nothing known", {}, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(TFillBudget::Room(c.Status), c.Room);
  }
}

TEST(FillBudgetLines, TheFirstPieceIsWeighedAtTheFirstEstimateAndItsRtfCounts) {
  TFillBudget budget;
  const TMemoryStatus status = AddressSpace32(512 * MiB + 8 * MiB);
  budget.Begin(status);
  EXPECT_EQ(budget.BytesPerLine(), TFillBudget::FirstBytesPerLine);
  // 8 MiB of room: 1,024 lines at 8 KiB each, 512 with 8 KiB of RTF each.
  EXPECT_EQ(budget.LinesThatFit(status, 4096, 0), 1024);
  EXPECT_EQ(budget.LinesThatFit(status, 1000, 0), 1000);
  EXPECT_EQ(budget.LinesThatFit(status, 4096, 8 * 1024), 512);
  EXPECT_EQ(budget.LinesThatFit(status, 4096, 8 * MiB), 0);
  EXPECT_EQ(budget.LinesThatFit(status, 0, 0), 0);
  EXPECT_EQ(budget.LinesThatFit(AddressSpace32(100 * MiB), 4096, 0), 0);
}

TEST(FillBudgetLines, TheCostOfALineIsLearntFromTheFill) {
  struct TCase {
    std::string Name;
    std::uint64_t Grown;
    int Lines;
    std::uint64_t BytesPerLine;
  };
  const std::vector<TCase> cases = {
      {"too few lines to tell", 100 * MiB, TFillBudget::MeasuredLines - 1, TFillBudget::FirstBytesPerLine},
      {"6 KiB a line", 6 * 1024 * 10000, 10000, 6 * 1024},
      {"cheaper than the first estimate", 2 * 1024 * 10000, 10000, 2 * 1024},
      {"dearer than the first estimate", 12 * 1024 * 10000, 10000, 12 * 1024},
      {"memory given back meanwhile", 0, 10000, TFillBudget::LeastBytesPerLine},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFillBudget budget;
    budget.Begin(AddressSpace32(1536 * MiB));
    budget.Measure(AddressSpace32(1536 * MiB - c.Grown), c.Lines);
    EXPECT_EQ(budget.BytesPerLine(), c.BytesPerLine);
  }
  // Address space freed since the fill began is no negative cost.
  TFillBudget budget;
  budget.Begin(AddressSpace32(1000 * MiB));
  budget.Measure(AddressSpace32(1500 * MiB), 50000);
  EXPECT_EQ(budget.BytesPerLine(), TFillBudget::LeastBytesPerLine);
  // A new fill starts again from the first estimate.
  budget.Begin(AddressSpace32(1500 * MiB));
  EXPECT_EQ(budget.BytesPerLine(), TFillBudget::FirstBytesPerLine);
}

TEST(FillBudgetLines, AFillStopsBeforeTheHostsReserve) {
  // A fill that takes 6 KiB a line from 1.5 GiB free: pieces of 16,384 lines
  // go in while they fit, and the last one is shortened to what is left.
  TFillBudget budget;
  std::uint64_t free = 1536 * MiB;
  budget.Begin(AddressSpace32(free));
  int filled = 0;
  for (int piece = 0; piece < 100; ++piece) {
    budget.Measure(AddressSpace32(free), filled);
    const int fit = budget.LinesThatFit(AddressSpace32(free), 16384, 128);
    free -= static_cast<std::uint64_t>(fit) * 6 * 1024;
    filled += fit;
    if (fit < 16384)
      break;
  }
  EXPECT_GE(free, 512 * MiB);
  EXPECT_LT(free, 512 * MiB + 16 * MiB);
  EXPECT_GT(filled, 160000);
}

} // namespace
} // namespace korvane
