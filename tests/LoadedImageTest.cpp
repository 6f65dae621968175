// The loaded image: where each byte of a section lands, which reads succeed
// or fail, base relocation with its quiet ends and its failures, and the
// agreement of the image with the plain model on every RVA.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "Errors.h"
#include "ImageModel.h"
#include "LoadedImage.h"
#include "Numbers.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TBytes;
using test::TGuardedBytes;
using test::TPeBuilder;
using test::TSectionSpec;

constexpr std::uint64_t Pe = TPeBuilder::PeOffset;

TBytes Pattern(std::size_t size, std::uint8_t first = 1) {
  TBytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

TSectionSpec Raw(std::uint32_t va, std::uint32_t virtualSize, TBytes raw) {
  return TSectionSpec{".s", va, virtualSize, std::move(raw)};
}

// The result of a read: its value, or nothing when it failed.
template <typename Read>
std::optional<std::uint64_t> Outcome(Read read) {
  try {
    return read();
  } catch (const TFormatError&) {
    return std::nullopt;
  }
}

// Every word and double word read of the image equals the model's, from RVA
// 0 to a little past SizeOfImage.
void ExpectAgreesWithModel(TLoadedImage& image, test::TImageModel model) {
  for (std::uint64_t rva = 0; rva < std::uint64_t{model.Size()} + 8; ++rva) {
    SCOPED_TRACE("RVA " + RvaText(rva));
    ASSERT_EQ(Outcome([&] { return image.ReadWord(rva, "w"); }), Outcome([&] { return model.ReadWord(rva, "w"); }));
    ASSERT_EQ(Outcome([&] { return image.ReadDWord(rva, "d"); }), Outcome([&] { return model.ReadDWord(rva, "d"); }));
  }
}

TEST(LoadedImageLayout, SectionBytesLandAtTheirRvaWithZeroFill) {
  struct TCase {
    const char* Name;
    std::uint32_t VirtualSize;
    std::uint32_t RawSize;
    std::uint32_t Extent; // bytes readable from 0x2000 on
    std::uint32_t Copied; // of them, from the file
  };
  const TCase cases[] = {
      {"VirtualSize 0, raw 0x200: zeros only", 0, 0x200, 0x200, 0},
      {"VirtualSize 0x100, raw 0x200", 0x100, 0x200, 0x200, 0x100},
      {"VirtualSize 0x3000, raw 0x200", 0x3000, 0x200, 0x3000, 0x200},
      {"uninitialised data, raw 0", 0x400, 0, 0x400, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSectionSpec section = Raw(0x2000, c.VirtualSize, Pattern(c.RawSize));
    if (c.RawSize == 0) {
      section.OverrideRaw = true;
      section.PointerToRawData = 0xFFFFFFF0; // never used for an empty copy
    }
    const TBytes file = TPeBuilder().Section(section).SizeOfImage(0x8000).Build();
    const TGuardedBytes guarded(file);
    TLoadedImage image(guarded.View(), Pe);
    EXPECT_EQ(image.ReadWord(0, "headers"), 0x5A4D);
    for (std::uint32_t at : {0u, c.Copied - 1, c.Copied, c.Extent - 1}) {
      if (at >= c.Extent)
        continue;
      const std::uint8_t expected = at < c.Copied ? static_cast<std::uint8_t>(1 + at) : 0;
      // The last byte is read as the high half of the word before it.
      const std::uint8_t actual = at + 1 < c.Extent
                                      ? static_cast<std::uint8_t>(image.ReadWord(0x2000 + at, "s"))
                                      : static_cast<std::uint8_t>(image.ReadWord(0x2000 + at - 1, "s") >> 8);
      EXPECT_EQ(actual, expected) << at;
    }
    EXPECT_THROW(image.ReadWord(0x2000 + c.Extent, "past the section"), TFormatError);
    EXPECT_THROW(image.ReadWord(0x1FFF, "before the section"), TFormatError);
    ExpectAgreesWithModel(image, test::TImageModel(guarded.View(), Pe));
  }
}

TEST(LoadedImageLayout, OverlapsTakeTheLaterRegionAndItsZeroFill) {
  const TBytes file = TPeBuilder()
                          .Section(Raw(0x1000, 0x1000, Pattern(0x1000, 0x10)))
                          .Section(Raw(0x1800, 0x400, Pattern(0x10, 0x80))) // 0x10 from the file, then zeros
                          .SizeOfImage(0x3000)
                          .Build();
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), Pe);
  EXPECT_EQ(image.ReadWord(0x1800, "later"), 0x8180);
  EXPECT_EQ(image.ReadWord(0x1810, "later zero fill"), 0);
  EXPECT_EQ(image.ReadWord(0x1BFE, "later zero fill end"), 0);
  EXPECT_EQ(image.ReadWord(0x1C00, "earlier again"), 0x1110);
  ExpectAgreesWithModel(image, test::TImageModel(guarded.View(), Pe));
}

TEST(LoadedImageLayout, SectionOverTheHeadersMakesOnlyItsBytesWritable) {
  TPeBuilder builder;
  builder.Section(Raw(0x1000, 0x1000, Pattern(0x1000, 0x10)))
      .Section(Raw(0x100, 0x10, Pattern(0x10, 0xC0)))
      .Relocations({{0x100, {0x3000}}, {0x0, {0x3000}}});
  test::TPeLayout layout;
  const TBytes file = builder.Build(&layout);
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), Pe);
  EXPECT_EQ(image.ReadWord(0x100, "section over the headers"), 0xC1C0);
  try {
    image.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, 1);
    ADD_FAILURE() << "a target in the header region must fail";
  } catch (const TFormatError& error) {
    EXPECT_NE(std::string(error.what()).find("RVA 0H"), std::string::npos) << error.what();
  }
  EXPECT_EQ(image.ReadDWord(0x100, "relocated over the headers"), 0xC3C2C1C0u + 1);
}

TEST(LoadedImageLayout, DeltaIsBaseMinusImageBase) {
  for (std::uint32_t imageBase : {0x00400000u, 0x10000000u, 0xFFFF0000u}) {
    SCOPED_TRACE(imageBase);
    const TBytes file = TPeBuilder().ImageBase(imageBase).Build();
    TLoadedImage image(test::TGuardedBytes(file).View(), Pe);
    EXPECT_NE(image.Base(), 0u);
    EXPECT_EQ(image.Delta(), static_cast<std::uint32_t>(image.Base() - imageBase));
    image.Release();
    image.Release();
    EXPECT_THROW(image.ReadWord(0, "released"), TFormatError);
  }
  // A PE32+ image's Delta is 64-bit.
  for (std::uint64_t imageBase : {std::uint64_t{0x180000000}, std::uint64_t{0x00400000}, ~std::uint64_t{0xFFFF}}) {
    SCOPED_TRACE(imageBase);
    const TBytes file = TPeBuilder().Pe32Plus().ImageBase(imageBase).Build();
    TLoadedImage image(test::TGuardedBytes(file).View(), Pe);
    EXPECT_TRUE(image.Pe32Plus());
    EXPECT_EQ(image.Delta(), std::uint64_t{image.Base()} - imageBase);
  }
}

TEST(LoadedImageBuild, EveryLayoutFailureIsRaisedWhileBuilding) {
  const TBytes good = TPeBuilder().Section(Raw(0x1000, 0x100, Pattern(0x100))).Build();
  const std::size_t sectionHeader = TPeBuilder::OptionalOffset + 224;
  struct TCase {
    const char* Name;
    TBytes Bytes;
    const char* Message; // part of the failure's text
  };
  const TCase cases[] = {
      {"file shorter than SizeOfHeaders", TBytes(good.begin(), good.begin() + 0x1FF), "SizeOfHeaders"},
      {"header region larger than SizeOfImage", TPeBuilder().SizeOfImage(0x100).Build(), "header region"},
      {"section past SizeOfImage", TPeBuilder().Section(Raw(0x1000, 0x100, Pattern(0x100))).SizeOfImage(0x10FF).Build(),
       "section header 1"},
      {"section at an RVA near 2^32", TPeBuilder().Section(Raw(0xFFFFFF00, 0x200, {})).SizeOfImage(0x10000).Build(),
       "section header 1"},
      {"section bytes past the end of the file",
       TPeBuilder().Section(Raw(0x1000, 0x300, Pattern(0x100))).PatchDWord(sectionHeader + 16, 0x201).Build(),
       "the bytes of section header 1"},
      {"section table past the end of the file", TPeBuilder().PatchWord(TPeBuilder::PeOffset + 6, 40).Build(),
       "section header 4 (SizeOfRawData)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TGuardedBytes guarded(c.Bytes);
    try {
      TLoadedImage image(guarded.View(), Pe);
      ADD_FAILURE() << "built";
    } catch (const TKorvaneError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos) << error.what();
    }
  }
}

TEST(LoadedImageBuild, EmptyRegionsAreSkippedWhereverTheyPoint) {
  TSectionSpec empty{".bss", 0xFFFFFFF0, 0, {}, true, 0, 0xFFFFFFF0};
  const TBytes file =
      TPeBuilder().Section(empty).SizeOfImage(0x1000).PatchDWord(TPeBuilder::OptionalOffset + 60, 0).Build();
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), Pe);
  // SizeOfHeaders 0: not even the headers are readable.
  EXPECT_THROW(image.ReadWord(0, "headers"), TFormatError);
}

TEST(LoadedImageBuild, RefusedReservationIsAFailure) {
  const TGuardedBytes guarded(TPeBuilder()
                                  .PatchDWord(TPeBuilder::OptionalOffset + 56, 0)
                                  .PatchDWord(TPeBuilder::OptionalOffset + 60, 0)
                                  .Build());
  EXPECT_THROW(TLoadedImage(guarded.View(), Pe), TOsError);
}

// A small file may declare gigabytes; the image must cost no memory or time
// in proportion to them.
TEST(LoadedImageBuild, HugeVirtualSizesCostNothing) {
  // One relocation block at the section's start claims 2^31 entries: one
  // real entry, then zero fill up to the section's end, 2 GB later.
  TBytes block(12, 0);
  test::PutDWord(block, 0, 0x1000);
  test::PutDWord(block, 4, 0xFFFFFFF0);
  test::PutWord(block, 8, 0x3000);
  const TBytes file =
      TPeBuilder().Section(Raw(0x1000, 0x7FFF0000, block)).DataDirectory(5, 0x1000, 12).SizeOfImage(0x80000000).Build();
  const TGuardedBytes guarded(file);
  std::optional<TLoadedImage> image;
  try {
    image.emplace(guarded.View(), Pe);
  } catch (const TOsError&) {
    GTEST_SKIP() << "the system refuses to reserve 2 GB here";
  }
  EXPECT_EQ(image->ReadDWord(0x7FFF0FFC, "the zero fill's last bytes"), 0u);
  EXPECT_THROW(image->ReadDWord(0x7FFF0FFD, "past the section"), TFormatError);
  EXPECT_THROW(image->ApplyBaseRelocations(0x1000, 12, 1), TFormatError);
  EXPECT_EQ(image->ReadDWord(0x1000, "relocated"), 0x1001u);
}

TEST(LoadedImageReads, BoundsAreExactAndSumsDoNotWrap) {
  const TBytes file =
      TPeBuilder()
          .Section(
              Raw(0x1000, 0x10, TBytes{'a', 'b', 0, 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o'}))
          .Section(Raw(0x1010, 0x4, TBytes{'p', 'q', 'r', 's'}))
          .Section(Raw(0x1100, 0x4, TBytes{'x', 'y', 0, 0}))
          .SizeOfImage(0x2000)
          .Build();
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), Pe);
  struct TCase {
    const char* Name;
    std::function<std::uint64_t()> Read;
    std::optional<std::uint64_t> Expected;
  };
  const TCase cases[] = {
      {"double word ending at the region's end", [&] { return image.ReadDWord(0x1110 - 0x10 + 0, "x"); }, 0x7978},
      {"double word across two adjacent regions", [&] { return image.ReadDWord(0x100E, "x"); }, 0x71706F6E},
      {"double word ending at the last readable byte", [&] { return image.ReadDWord(0x1010, "x"); }, 0x73727170},
      {"one byte later", [&] { return image.ReadDWord(0x1011, "x"); }, std::nullopt},
      {"word across a gap", [&] { return image.ReadWord(0x1013, "x"); }, std::nullopt},
      {"RVA 2^32 - 4", [&] { return image.ReadDWord(0xFFFFFFFC, "x"); }, std::nullopt},
      {"RVA past 2^32", [&] { return image.ReadDWord(0x100000000, "x"); }, std::nullopt},
      {"word at 2^32 - 1", [&] { return image.ReadWord(0xFFFFFFFF, "x"); }, std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Outcome(c.Read), c.Expected);
  }
  EXPECT_EQ(image.ReadText(0x1000, "t"), "ab");
  EXPECT_EQ(image.ReadText(0x1100, "t"), "xy");
  EXPECT_EQ(image.ReadText(0x1102, "t"), "");
  // Runs on across the adjacent region, then into bytes no region holds.
  EXPECT_THROW(image.ReadText(0x1003, "t"), TFormatError);
  EXPECT_THROW(image.ReadText(0x1FFF, "t"), TFormatError);
  try {
    image.ReadDWord(0x1FFE, "the export directory (NumberOfNames)");
    ADD_FAILURE() << "a read that runs past the readable bytes must fail";
  } catch (const TFormatError& error) {
    EXPECT_EQ(std::string(error.what()),
              "The image has no readable bytes for the export directory (NumberOfNames) (4 bytes at RVA 1FFEH)");
  }
}

struct TRelocationCase {
  const char* Name;
  std::vector<test::TRelocationBlock> Blocks;
  std::int64_t DirectorySizeChange;                              // added to the size of the blocks
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Expected; // {RVA, value} after relocation by 0x100
};

TEST(LoadedImageRelocation, BlocksAndEntriesFollowTheirSizes) {
  // Section 0x2000..0x3000 holds 0x11111111 in every double word.
  const TBytes filler(0x1000, 0x11);
  const TRelocationCase cases[] = {
      {"types 3, 0 and 10 at offset 0x10", {{0x2000, {0x3010, 0x0010, 0xA010}}}, 0, {{0x2010, 0x11111311}}},
      {"SizeOfBlock 9 ends the pass",
       {{0x2000, {0x3010}, 9}, {0x2000, {0x3020}}},
       0,
       {{0x2010, 0x11111111}, {0x2020, 0x11111111}}},
      {"SizeOfBlock 10 applies one entry",
       {{0x2000, {0x3010}, 10}, {0x2000, {0x3020}}},
       0,
       {{0x2010, 0x11111211}, {0x2020, 0x11111211}}},
      // Block 2 (VirtualAddress 0x2000, SizeOfBlock 10, entry 0x3020) starts
      // inside the fourth word of block 1.
      {"SizeOfBlock 15: three entries, next block 14 bytes on",
       {{0x2000, {0x3010, 0x3014, 0x3018, 0x2000, 0x0000, 10, 0x0000, 0x3020}, 15}},
       0,
       {{0x2010, 0x11111211}, {0x2014, 0x11111211}, {0x2018, 0x11111211}, {0x2020, 0x11111211}}},
      {"size ending inside a block applies it in full",
       {{0x2000, {0x3010, 0x3014}}, {0x2000, {0x3020}}},
       -12,
       {{0x2010, 0x11111211}, {0x2014, 0x11111211}, {0x2020, 0x11111111}}},
      {"size 0 applies nothing", {{0x2000, {0x3010}}}, -10, {{0x2010, 0x11111111}}},
      {"one target twice, and overlapping targets one after the other",
       {{0x2000, {0x3030, 0x3030, 0x3032}}},
       0,
       {{0x2030, 0x12111311}, {0x2034, 0x11111111}}},
  };
  for (const TRelocationCase& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TPeLayout layout;
    const TBytes file = TPeBuilder().Section(Raw(0x2000, 0x1000, filler)).Relocations(c.Blocks).Build(&layout);
    // The size is patched so that it can end anywhere, the blocks stay.
    const TGuardedBytes guarded(file);
    TLoadedImage image(guarded.View(), Pe);
    test::TImageModel model(guarded.View(), Pe);
    const auto size = static_cast<std::uint32_t>(layout.RelocationsSize + c.DirectorySizeChange);
    image.ApplyBaseRelocations(layout.Relocations, size, 0x100);
    model.ApplyBaseRelocations(layout.Relocations, size, 0x100);
    for (const auto& [rva, value] : c.Expected)
      EXPECT_EQ(image.ReadDWord(rva, "target"), value) << RvaText(rva);
    ExpectAgreesWithModel(image, model);
  }
}

TEST(LoadedImageRelocation, AdditionWrapsAndEveryTypeAddsTheSame) {
  TBytes bytes(0x100, 0);
  test::PutDWord(bytes, 0x10, 0xFFFFFFF0);
  test::TPeLayout layout;
  const TBytes file = TPeBuilder()
                          .Section(Raw(0x2000, 0x100, bytes))
                          .Relocations({{0x2000, {0x3010, 0x1020, 0x2030, 0xA040, 0xF050}}})
                          .Build(&layout);
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), Pe);
  image.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, 0x20);
  EXPECT_EQ(image.ReadDWord(0x2010, "wrapped"), 0x10u);
  for (std::uint32_t rva : {0x2020u, 0x2030u, 0x2040u, 0x2050u})
    EXPECT_EQ(image.ReadDWord(rva, "any type"), 0x20u) << RvaText(rva);
  // Delta 0 still reads and writes every target: a bad one still fails.
  image.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, 0);
  EXPECT_EQ(image.ReadDWord(0x2010, "unchanged"), 0x10u);
}

TEST(LoadedImageRelocation, TargetsOutsideTheSectionsFail) {
  const TBytes filler(0x800, 0x22);
  struct TCase {
    const char* Name;
    std::vector<test::TRelocationBlock> Blocks;
    std::uint32_t Delta;
    const char* Message;
  };
  const TCase cases[] = {
      {"target in the header region, Delta 0", {{0x0, {0x3040}}}, 0, "outside the sections"},
      {"target in no region", {{0x8000, {0x3000}}}, 1, "no readable bytes for a base relocation target"},
      {"target straddling the section's end", {{0x2000, {0x37FE}}}, 1, "no readable bytes"},
      {"target past 2^32", {{0xFFFFF000, {0x3FFE}}}, 1, "no readable bytes"},
      // The segment of the target before must not vouch for one past its end.
      {"past the section after a target in it", {{0x2000, {0x3000, 0x3900}}}, 1, "no readable bytes"},
      {"far past the image after a target in it", {{0x2000, {0x3000}}, {0xFFFF1000, {0x3FFF}}}, 1, "no readable bytes"},
      {"block VirtualAddress unreadable", {{0x2000, {0x3000}}}, 1, "base relocation block"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TPeLayout layout;
    const TBytes file =
        TPeBuilder().Section(Raw(0x2000, 0x800, filler)).Relocations(c.Blocks).SizeOfImage(0x10000).Build(&layout);
    const TGuardedBytes guarded(file);
    TLoadedImage image(guarded.View(), Pe);
    const bool unreadableBlock = std::string(c.Message) == "base relocation block";
    try {
      image.ApplyBaseRelocations(unreadableBlock ? 0x9000 : layout.Relocations, layout.RelocationsSize, c.Delta);
      ADD_FAILURE() << "applied";
    } catch (const TFormatError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos) << error.what();
    }
  }
}

// A block whose targets rewrite the next block's header: the second block is
// read as relocated, as a loader that writes in place would read it.
TEST(LoadedImageRelocation, RelocationsThatRewriteLaterBlocksAgreeWithTheModel) {
  test::TPeLayout layout;
  TPeBuilder builder;
  builder.Section(Raw(0x2000, 0x1000, TBytes(0x1000, 0x33))).Relocations({{0x2000, {}}, {0x2000, {0x3004, 0x3008}}});
  builder.Build(&layout);
  // With one entry, block 1 is 10 bytes long: block 2 starts right after.
  const std::uint32_t second = layout.Relocations + 10;
  // Block 1 relocates the VirtualAddress of block 2 by Delta.
  builder.Relocations({{second & ~0xFFFu, {static_cast<std::uint16_t>(0x3000 | (second & 0xFFF))}},
                       {0x2000 - 0x100, {0x3104, 0x3108}}});
  const TBytes file = builder.Build(&layout);
  for (std::uint32_t delta : {0x0u, 0x100u, 0xFFFFFF00u}) {
    SCOPED_TRACE(delta);
    const TGuardedBytes guarded(file);
    TLoadedImage image(guarded.View(), Pe);
    test::TImageModel model(guarded.View(), Pe);
    const auto outcome = [&](auto& target) {
      try {
        target.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, delta);
        return true;
      } catch (const TFormatError&) {
        return false;
      }
    };
    ASSERT_EQ(outcome(image), outcome(model));
    ExpectAgreesWithModel(image, model);
  }
}

} // namespace
} // namespace korvane

namespace korvane {
namespace {

// Additions are made when a read needs their bytes, in their order: texts
// and values read afterwards are those of an image relocated in place.
TEST(LoadedImageRelocation, ReadsSeeRelocatedBytesWheneverTheyAreRead) {
  TBytes bytes(0x20, 0);
  const char text[] = "ABCDEFG";
  std::copy(text, text + 7, bytes.begin());
  test::TPeLayout layout;
  const TBytes file = TPeBuilder()
                          .Section(Raw(0x2000, 0x20, bytes))
                          .Section(Raw(0x2020, 0x20, TBytes(0x20, 0x7F)))
                          .Relocations({{0x2000, {0x3000, 0x3002, 0x301E}}})
                          .Build(&layout);
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), Pe);
  image.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, 0x01010101);
  // Bytes that no target reaches read as stored, before and after.
  EXPECT_EQ(image.ReadDWord(0x2008, "untouched"), 0u);
  // "ABCD" + 0x01010101 is "BCDE"; then "DEEF", read after the first
  // addition, becomes "EFFG".
  EXPECT_EQ(image.ReadText(0x2000, "text"), "BCEFFGG");
  // A double word across the two sections, relocated into both.
  EXPECT_EQ(image.ReadDWord(0x201E, "straddling"), 0x7F7F0000u + 0x01010101u);
  test::TImageModel model(guarded.View(), Pe);
  model.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, 0x01010101);
  ExpectAgreesWithModel(image, model);
}

} // namespace
} // namespace korvane

namespace korvane {
namespace {

// Every word and double word read of the image equals the model's, read
// from the top of the image down, so that a page is often needed before the
// page below it, whose additions carry into it.
void ExpectAgreesWithModelTopDown(TLoadedImage& image, test::TImageModel& model, std::uint64_t from = 0) {
  for (std::uint64_t rva = std::uint64_t{model.Size()} + 8; rva-- > from;) {
    SCOPED_TRACE("RVA " + RvaText(rva));
    ASSERT_EQ(Outcome([&] { return image.ReadDWord(rva, "d"); }), Outcome([&] { return model.ReadDWord(rva, "d"); }));
    ASSERT_EQ(Outcome([&] { return image.ReadWord(rva, "w"); }), Outcome([&] { return model.ReadWord(rva, "w"); }));
  }
}

std::uint16_t Entry(std::uint32_t offset) { return static_cast<std::uint16_t>(0x3000 | offset); }

// Double words across page ends: their lower bytes carry into the next page,
// and chains of overlapping targets carry from one page end to the next.
TEST(LoadedImageRelocation, TargetsAcrossPageEndsAgreeWithTheModelInAnyReadOrder) {
  TBytes bytes(0x4000);
  std::uint32_t seed = 12345;
  for (std::uint8_t& byte : bytes) {
    seed = seed * 1103515245 + 12345;
    byte = static_cast<std::uint8_t>(seed >> 16);
  }
  // 0xFF bytes below each page end make every carry reach the next page.
  for (std::uint32_t end : {0x1000u, 0x2000u, 0x3000u})
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(end) - 3, bytes.begin() + static_cast<std::ptrdiff_t>(end),
              0xFF);
  struct TCase {
    const char* Name;
    std::vector<test::TRelocationBlock> Blocks;
  };
  const TCase cases[] = {
      {"one across each page end", {{0x2000, {Entry(0xFFD)}}, {0x3000, {Entry(0xFFE)}}, {0x4000, {Entry(0xFFF)}}}},
      {"a block whose VirtualAddress is not page aligned reaches two pages on",
       {{0x2FFF, {Entry(0xFFF), Entry(0x001), Entry(0xFFE)}}}},
      {"overlapping targets chained across three pages",
       {{0x2000, {Entry(0xFFE), Entry(0xFFC), Entry(0xFFF)}},
        {0x3000, {Entry(0xFFD), Entry(0x000), Entry(0xFFE)}},
        {0x4000, {Entry(0xFFF), Entry(0xFFC), Entry(0x001)}},
        {0x2000, {Entry(0xFFE)}}}},
      {"blocks out of page order, the same target again",
       {{0x4000, {Entry(0xFFE)}}, {0x2000, {Entry(0xFFF)}}, {0x3000, {Entry(0xFFD)}}, {0x2000, {Entry(0xFFF)}}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TPeLayout layout;
    const TBytes file = TPeBuilder().Section(Raw(0x2000, 0x4000, bytes)).Relocations(c.Blocks).Build(&layout);
    const TGuardedBytes guarded(file);
    test::TImageModel model(guarded.View(), Pe);
    for (const std::uint32_t delta : {0xFFFFFFFFu, 0x01020304u, 0x80000001u}) {
      SCOPED_TRACE(delta);
      model = test::TImageModel(guarded.View(), Pe);
      model.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, delta);
      TLoadedImage bottomUp(guarded.View(), Pe);
      bottomUp.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, delta);
      for (std::uint64_t rva = 0x1FF8; rva < 0x6008; ++rva) {
        SCOPED_TRACE("RVA " + RvaText(rva));
        ASSERT_EQ(Outcome([&] { return bottomUp.ReadDWord(rva, "d"); }),
                  Outcome([&] { return model.ReadDWord(rva, "d"); }));
      }
      TLoadedImage topDown(guarded.View(), Pe);
      topDown.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, delta);
      ExpectAgreesWithModelTopDown(topDown, model, 0x1FF8);
    }
  }
}

// A PE32+ image: DIR64 entries add all of a 64-bit Delta to quadwords, the
// other types its low 32 bits to double words, across page ends too.
TEST(LoadedImageRelocation, Pe32PlusQuadwordsAndDoubleWordsAgreeWithTheModelInAnyReadOrder) {
  TBytes bytes(0x3000);
  std::uint32_t seed = 54321;
  for (std::uint8_t& byte : bytes) {
    seed = seed * 1103515245 + 12345;
    byte = static_cast<std::uint8_t>(seed >> 16);
  }
  for (std::uint32_t end : {0x1000u, 0x2000u})
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(end) - 7, bytes.begin() + static_cast<std::ptrdiff_t>(end),
              0xFF);
  const auto wide = [](std::uint32_t offset) { return static_cast<std::uint16_t>(0xA000 | offset); };
  const std::vector<std::vector<test::TRelocationBlock>> tables = {
      {{0x2000, {wide(0xFF9), wide(0x010)}}, {0x3000, {wide(0xFFF), Entry(0x020)}}},
      {{0x2000, {wide(0xFFC), Entry(0xFFE), wide(0xFF8), wide(0xFFD)}}, {0x3000, {Entry(0xFFD), wide(0x000)}}},
      {{0x3000, {wide(0xFFA)}}, {0x2FFF, {wide(0xFFF), Entry(0xFFF)}}, {0x2000, {wide(0xFFE)}}},
  };
  for (std::size_t t = 0; t < tables.size(); ++t) {
    SCOPED_TRACE(t);
    test::TPeLayout layout;
    const TBytes file =
        TPeBuilder().Pe32Plus().Section(Raw(0x2000, 0x3000, bytes)).Relocations(tables[t]).Build(&layout);
    const TGuardedBytes guarded(file);
    for (const std::uint64_t delta : {~std::uint64_t{0}, std::uint64_t{0x0102030405060708}, std::uint64_t{1} << 63}) {
      SCOPED_TRACE(delta);
      test::TImageModel model(guarded.View(), Pe);
      ASSERT_TRUE(model.Pe32Plus());
      model.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, delta);
      TLoadedImage bottomUp(guarded.View(), Pe);
      bottomUp.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, delta);
      for (std::uint64_t rva = 0x1FF8; rva < 0x5008; ++rva) {
        SCOPED_TRACE("RVA " + RvaText(rva));
        ASSERT_EQ(Outcome([&] { return bottomUp.ReadQWord(rva, "q"); }),
                  Outcome([&] { return model.ReadQWord(rva, "q"); }));
      }
      TLoadedImage topDown(guarded.View(), Pe);
      topDown.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, delta);
      ExpectAgreesWithModelTopDown(topDown, model, 0x1FF8);
    }
  }
  // The quadword's upper half takes Delta's: a 32-bit addition would not.
  test::TPeLayout layout;
  const TBytes file = TPeBuilder()
                          .Pe32Plus()
                          .Section(Raw(0x2000, 0x100, TBytes(0x100, 0)))
                          .Relocations({{0x2000, {wide(0x010), Entry(0x020)}}})
                          .Build(&layout);
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), Pe);
  image.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, 0x0000000700000005u);
  EXPECT_EQ(image.ReadQWord(0x2010, "quadword"), 0x0000000700000005u);
  EXPECT_EQ(image.ReadQWord(0x2020, "double word"), 5u);
}

// The relocation table lies in the section it relocates: its blocks are
// read as earlier blocks left them, also across a page end.
TEST(LoadedImageRelocation, TablesThatRelocateThemselvesAcrossPageEndsAgreeWithTheModel) {
  for (const std::uint32_t tableOffset : {0xFF0u, 0xFF6u, 0xFFAu}) {
    SCOPED_TRACE(tableOffset);
    TBytes bytes(0x3000, 0x11);
    std::uint32_t at = tableOffset;
    const auto put = [&](std::uint32_t va, std::vector<std::uint16_t> entries) {
      test::PutDWord(bytes, at, va);
      test::PutDWord(bytes, at + 4, static_cast<std::uint32_t>(8 + 2 * entries.size()));
      at += 8;
      for (const std::uint16_t entry : entries) {
        test::PutWord(bytes, at, entry);
        at += 2;
      }
    };
    // Block 1 relocates the bytes of block 2 (across the page end at
    // 0x3000), block 2 those of block 3.
    const std::uint32_t second = 0x2000 + tableOffset + 12;
    put(0x2000, {Entry(second - 0x2000 + 4), Entry(second - 0x2000 + 10)});
    put(0x2000, {Entry(second - 0x2000 + 18), Entry(0xFFE), Entry(0x80)});
    put(0x3000, {Entry(0x0FF), Entry(0xFFD)});
    test::PutDWord(bytes, at, 0);
    test::PutDWord(bytes, at + 4, 0);
    const TBytes file =
        TPeBuilder().Section(Raw(0x2000, 0x3000, bytes)).DataDirectory(5, 0x2000 + tableOffset, 0x100).Build();
    for (const std::uint32_t delta : {0x0u, 0xFFFFFFF0u, 0x00010010u}) {
      SCOPED_TRACE(delta);
      const TGuardedBytes guarded(file);
      test::TImageModel model(guarded.View(), Pe);
      TLoadedImage image(guarded.View(), Pe);
      const auto outcome = [&](auto& target) {
        try {
          target.ApplyBaseRelocations(0x2000 + tableOffset, 0x100, delta);
          return std::string();
        } catch (const TFormatError& error) {
          return std::string(error.what()).substr(0, 20);
        }
      };
      const std::string modelOutcome = outcome(model);
      EXPECT_EQ(outcome(image).empty(), modelOutcome.empty());
      ExpectAgreesWithModelTopDown(image, model, 0x1FF8);
    }
  }
}

// One block per page over a large zero-filled section: the additions are
// recorded, not made; a read copies only its own page, and a read of a page
// needs at most the pages below it that carry into it.
TEST(LoadedImageRelocation, WorkFollowsTheReadsNotTheTable) {
  constexpr std::uint32_t pages = 0x10000; // 256 MiB of zero fill
  constexpr std::uint32_t bss = 0x100000;
  struct TCase {
    const char* Name;
    std::uint16_t Offset;      // of each block's one entry
    std::uint64_t MaxReplayed; // for the read near the top
  };
  const TCase cases[] = {
      {"targets inside their pages", 0x010, 0},
      // Each target's lower bytes are zeros: it carries nothing, but only
      // the page below can tell, and it needs the one below it in turn.
      {"targets across every page end", 0xFFE, pages},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<test::TRelocationBlock> blocks;
    for (std::uint32_t page = 0; page < pages; ++page)
      blocks.push_back({bss + page * 0x1000, {Entry(c.Offset)}});
    test::TPeLayout layout;
    const TBytes file = TPeBuilder()
                            .Section(TSectionSpec{".bss", bss, pages * 0x1000 + 0x1000, {}, true, 0, 0})
                            .Relocations(blocks)
                            .Build(&layout);
    const TGuardedBytes guarded(file);
    TLoadedImage image(guarded.View(), Pe);
    image.ApplyBaseRelocations(layout.Relocations, layout.RelocationsSize, 0x00010001);
    EXPECT_EQ(image.RelocationWork().PagesCopied, 0u);
    EXPECT_EQ(image.RelocationWork().AdditionsMade, 0u);

    const std::uint32_t target = bss + 0x5000 + c.Offset;
    EXPECT_EQ(image.ReadDWord(target, "target"), 0x00010001u);
    EXPECT_EQ(image.ReadDWord(target + 4, "behind it"), 0u);
    EXPECT_LE(image.RelocationWork().PagesCopied, 2u);
    EXPECT_LE(image.RelocationWork().PagesReplayed, 6u);
    EXPECT_LE(image.RelocationWork().AdditionsMade, 2 * (2 + 6u));

    const std::uint32_t high = bss + (pages - 2) * 0x1000 + c.Offset;
    EXPECT_EQ(image.ReadDWord(high, "a target near the top"), 0x00010001u);
    EXPECT_LE(image.RelocationWork().PagesCopied, 4u);
    EXPECT_LE(image.RelocationWork().PagesReplayed, c.MaxReplayed);
    EXPECT_LE(image.RelocationWork().AdditionsMade, 2 * c.MaxReplayed + 24);
    // What was worked out once is not worked out again.
    const TRelocationWork before = image.RelocationWork();
    EXPECT_EQ(image.ReadDWord(high - 0x1000, "the target below"), 0x00010001u);
    EXPECT_LE(image.RelocationWork().PagesReplayed, before.PagesReplayed);
    EXPECT_LE(image.RelocationWork().PagesCopied, before.PagesCopied + 2);
  }
}

// The entries of a table are read alike wherever its bytes lie: across two
// regions, across a page end of a section that holds targets, or running
// into zero fill, which holds entries of type 0 only.
TEST(LoadedImageRelocation, EntriesReadAlikeWhereverTheTableLies) {
  struct TCase {
    const char* Name;
    std::uint32_t TableRva;  // inside the sections below
    std::uint32_t TableSize; // from the data directory
    std::vector<test::TRelocationBlock> Blocks;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Expected;
  };
  // Sections: 0x2000 and 0x3000 (one page each, 0x44 bytes), 0x4000 (two
  // pages of 0x11 bytes), 0x6000 (one page of raw 0x55 bytes, then 3 pages
  // of zero fill).
  const TCase cases[] = {
      {"an entry across two sections at an odd RVA",
       0x2FF7,
       14,
       {{0x4000, {Entry(0x010), Entry(0x020), Entry(0x030)}}},
       {{0x4010, 0x11111211}, {0x4020, 0x11111211}, {0x4030, 0x11111211}}},
      {"entries across a page end of a section with targets",
       0x4FF5,
       24,
       {{0x4000, {Entry(0x010), Entry(0x100)}}, {0x5000, {Entry(0x010), Entry(0x020)}}},
       {{0x4010, 0x11111211}, {0x4100, 0x11111211}, {0x5010, 0x11111211}, {0x5020, 0x11111211}}},
      // SizeOfBlock covers 0x800 entries, all but two of them zero fill.
      {"a block that runs into zero fill",
       0x6FF4,
       0x100C,
       {{0x4000, {Entry(0x040), Entry(0x050)}, 8 + 2 * 0x800}},
       {{0x4040, 0x11111211}, {0x4050, 0x11111211}, {0x4060, 0x11111111}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBytes sections(0x5000);
    std::fill(sections.begin(), sections.begin() + 0x2000, std::uint8_t{0x44});
    std::fill(sections.begin() + 0x2000, sections.begin() + 0x4000, std::uint8_t{0x11});
    std::fill(sections.begin() + 0x4000, sections.end(), std::uint8_t{0x55});
    std::size_t at = c.TableRva - 0x2000;
    for (const test::TRelocationBlock& block : c.Blocks) {
      const std::uint32_t blockSize =
          block.SizeOfBlock != 0 ? block.SizeOfBlock : static_cast<std::uint32_t>(8 + 2 * block.Entries.size());
      test::PutDWord(sections, at, block.VirtualAddress);
      test::PutDWord(sections, at + 4, blockSize);
      for (std::size_t i = 0; i < block.Entries.size(); ++i)
        test::PutWord(sections, at + 8 + 2 * i, block.Entries[i]);
      at += blockSize;
    }
    const auto part = [&](std::size_t from, std::size_t size) {
      return TBytes(sections.begin() + static_cast<long>(from), sections.begin() + static_cast<long>(from + size));
    };
    const TBytes file = TPeBuilder()
                            .Section(Raw(0x2000, 0x1000, part(0, 0x1000)))
                            .Section(Raw(0x3000, 0x1000, part(0x1000, 0x1000)))
                            .Section(Raw(0x4000, 0x2000, part(0x2000, 0x2000)))
                            .Section(Raw(0x6000, 0x4000, part(0x4000, 0x1000)))
                            .DataDirectory(5, c.TableRva, c.TableSize)
                            .Build();
    const TGuardedBytes guarded(file);
    TLoadedImage image(guarded.View(), Pe);
    test::TImageModel model(guarded.View(), Pe);
    image.ApplyBaseRelocations(c.TableRva, c.TableSize, 0x100);
    model.ApplyBaseRelocations(c.TableRva, c.TableSize, 0x100);
    for (const auto& [rva, value] : c.Expected)
      EXPECT_EQ(image.ReadDWord(rva, "target"), value) << RvaText(rva);
    ExpectAgreesWithModel(image, model);
  }
}

} // namespace
} // namespace korvane
