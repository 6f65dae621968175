// The export listing: its lines and styles, the ordinal column, the quiet
// ends, the failures that keep earlier lines, and the work limit.
#include <gtest/gtest.h>

#include "Errors.h"
#include "Exports.h"
#include "LoadedImage.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TBytes;
using test::TGuardedBytes;
using test::TPeBuilder;
using TLines = std::vector<std::string>;

const TLines Headings = {"", "Exports", "", "Ordinal\tFunction"};

struct TListing {
  TMemoryReportView View;
  std::string Failure;
};

// The listing of the export directory the builder made (or at rva).
TListing List(const TBytes& file, std::uint32_t rva = 0) {
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), TPeBuilder::PeOffset);
  TListing listing;
  const std::uint32_t directory =
      rva != 0 ? rva : guarded.View().ReadDWord(TPeBuilder::DataDirectoryOffset(0), "export directory");
  try {
    ReportExports(listing.View, image, directory);
  } catch (const TFormatError& error) {
    listing.Failure = error.what();
  }
  return listing;
}

TLines With(TLines lines) {
  lines.insert(lines.begin(), Headings.begin(), Headings.end());
  return lines;
}

TEST(ExportListingLines, TheExampleLineForLineAndStyleForStyle) {
  const TListing listing = List(TPeBuilder().ExportBase(1).Export("Alpha", 0).Export("Beta", 2).Build());
  ASSERT_EQ(listing.Failure, "");
  EXPECT_EQ(test::ReportLines(listing.View), With({"0000\tAlpha", "0002\tBeta"}));
  const int sizes[] = {8, 10, 8, 8, 8, 8};
  const bool bold[] = {false, true, false, true, false, false};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(listing.View.Line(i).Size, sizes[i]);
    EXPECT_EQ(listing.View.Line(i).Bold, bold[i]);
    EXPECT_EQ(listing.View.Line(i).Colour, ColourDefault);
  }
}

TEST(ExportListingLines, EntriesAsStoredInTableOrder) {
  struct TCase {
    const char* Name;
    std::vector<std::pair<std::string, std::uint16_t>> Exports;
    TLines Lines;
  };
  const TCase cases[] = {
      {"ordinals padded to four digits, never cut",
       {{"A", 0}, {"B", 7}, {"C", 12345}, {"D", 65535}},
       {"0000\tA", "0007\tB", "12345\tC", "65535\tD"}},
      {"not sorted, same ordinal twice", {{"Zeta", 3}, {"Alpha", 3}}, {"0003\tZeta", "0003\tAlpha"}},
      {"Base is not added", {{"First", 1}}, {"0001\tFirst"}},
      {"line feed and carriage return shown as two characters", {{"Fake\nLine\rX", 1}}, {"0001\tFake\\nLine\\rX"}},
      {"an empty name", {{"", 4}}, {"0004\t"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPeBuilder builder;
    for (const auto& [name, ordinal] : c.Exports)
      builder.Export(name, ordinal);
    const TListing listing = List(builder.Build());
    EXPECT_EQ(listing.Failure, "");
    EXPECT_EQ(test::ReportLines(listing.View), With(c.Lines));
  }
}

TEST(ExportListingLines, CountsOfZeroOrLessWriteTheHeadingsOnly) {
  for (std::uint32_t count : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    test::TPeLayout layout;
    TPeBuilder builder;
    builder.Export("Alpha", 1).Build(&layout);
    const TListing listing = List(builder.PatchDWord(layout.FileOffset(layout.ExportDirectory + 24), count).Build());
    EXPECT_EQ(listing.Failure, "");
    EXPECT_EQ(test::ReportLines(listing.View), Headings);
  }
}

TEST(ExportListingFailures, UnreadableTablesKeepTheLinesBefore) {
  struct TCase {
    const char* Name;
    std::uint32_t Field; // offset in the export directory, or of a table
    std::uint32_t Value;
    std::size_t Lines;
    const char* Message;
  };
  const TCase cases[] = {
      {"name pointer table outside the image", 32, 0x7FFFFFF0, 4, "export name pointer table"},
      {"ordinal table at 2^32 - 2", 36, 0xFFFFFFFE, 4, "export ordinal table"},
      {"second name outside the image", 1000, 0x00FFFFFF, 5, "exported name"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TPeLayout layout;
    TPeBuilder builder;
    builder.Export("Alpha", 1).Export("Beta", 2).Build(&layout);
    const std::uint32_t directory = layout.ExportDirectory;
    // Field 1000 stands for the second entry of the name pointer table.
    const std::uint32_t fieldRva = c.Field == 1000 ? directory + 40 + 4 * 3 + 4 : directory + c.Field;
    const TListing listing = List(builder.PatchDWord(layout.FileOffset(fieldRva), c.Value).Build());
    EXPECT_NE(listing.Failure.find(c.Message), std::string::npos) << listing.Failure;
    EXPECT_EQ(static_cast<std::size_t>(listing.View.LineCount()), c.Lines);
  }
  const TListing outside = List(TPeBuilder().Build(), 0x7FFFFFF0);
  EXPECT_EQ(test::ReportLines(outside.View), Headings);
  EXPECT_NE(outside.Failure.find("NumberOfNames"), std::string::npos) << outside.Failure;
}

// NumberOfNames 0x7FFFFFFF over zero-filled tables would list RVA 0's text
// two billion times; the listing stops with a failure after 2^20 lines.
TEST(ExportListingFailures, HugeCountsStopAtTheLineLimit) {
  test::TPeLayout layout;
  TPeBuilder builder;
  builder.Section({".bss", 0x100000, 0x800000, {}}).Export("Alpha", 1).Build(&layout);
  const std::uint32_t directory = layout.ExportDirectory;
  const TBytes file = builder.PatchDWord(layout.FileOffset(directory + 24), 0x7FFFFFFF)
                          .PatchDWord(layout.FileOffset(directory + 32), 0x100000)
                          .PatchDWord(layout.FileOffset(directory + 36), 0x100000)
                          .Build();
  const TListing listing = List(file, directory);
  EXPECT_NE(listing.Failure.find("stops after 1048576"), std::string::npos) << listing.Failure;
  ASSERT_EQ(listing.View.LineCount(), 4 + MaxExportLines);
  EXPECT_EQ(listing.View.LineText(4 + MaxExportLines - 1), "0000\tMZ\x90");
}

// Every entry names the same 4 MiB text: the listing stops before its
// names pass 64 MiB in all, after 16 lines.
TEST(ExportListingFailures, NameBytesStopAtTheirLimit) {
  constexpr std::uint32_t va = 0x1000;
  constexpr std::uint32_t pointers = 0x600000;
  constexpr std::uint32_t count = 100;
  TBytes edata(0x100 + (4u << 20) + 1, 'A');
  std::fill(edata.begin(), edata.begin() + 0x100, 0);
  edata.back() = 0;
  test::PutDWord(edata, 24, count);     // NumberOfNames
  test::PutDWord(edata, 32, pointers);  // AddressOfNames
  test::PutDWord(edata, 36, va + 0x80); // AddressOfNameOrdinals: zeros
  TBytes names(4 * count);
  for (std::size_t i = 0; i < count; ++i)
    test::PutDWord(names, 4 * i, va + 0x100);
  const TListing listing = List(TPeBuilder()
                                    .Section({".edata", va, static_cast<std::uint32_t>(edata.size()), edata})
                                    .Section({".names", pointers, 4 * count, names})
                                    .Build(),
                                va);
  EXPECT_NE(listing.Failure.find("more than 67108864 bytes"), std::string::npos) << listing.Failure;
  EXPECT_EQ(listing.View.LineCount(), 4 + 16);
}

} // namespace
} // namespace korvane
