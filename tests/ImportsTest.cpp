// The import listing: grouping by library with ASCII-only case folding, the
// choice of thunk array, ordinals, the lines and styles of the section, the
// failures that write nothing, and the collection's own rules.
#include <gtest/gtest.h>

#include "Errors.h"
#include "ImportDirs.h"
#include "Imports.h"
#include "LoadedImage.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TBytes;
using test::TGuardedBytes;
using test::TImportDescriptor;
using test::TPeBuilder;
using TLines = std::vector<std::string>;

struct TListing {
  TMemoryReportView View;
  std::string Failure;
};

TListing List(const TBytes& file) {
  const TGuardedBytes guarded(file);
  TLoadedImage image(guarded.View(), TPeBuilder::PeOffset);
  TListing listing;
  listing.View.AddLine("before");
  try {
    ReportImports(listing.View, image,
                  guarded.View().ReadDWord(TPeBuilder::DataDirectoryOffset(1), "import directory"));
  } catch (const TFormatError& error) {
    listing.Failure = error.what();
  }
  return listing;
}

TImportDescriptor Descriptor(std::string library, std::vector<std::string> functions) {
  TImportDescriptor entry;
  entry.Library = std::move(library);
  entry.Functions = std::move(functions);
  return entry;
}

TEST(ImportListingLines, TheKernel32User32ExampleLineForLineAndStyleForStyle) {
  const TListing listing = List(TPeBuilder()
                                    .Import("KERNEL32.dll", {"GetModuleHandleA", "#16"})
                                    .Import("USER32.dll", {"MessageBoxA"})
                                    .Import("kernel32.DLL", {"ExitProcess"})
                                    .Build());
  ASSERT_EQ(listing.Failure, "");
  const TLines expected = {"before",      "", "Imports",    "", "KERNEL32.dll", "", "GetModuleHandleA", "#16",
                           "ExitProcess", "", "USER32.dll", "", "MessageBoxA"};
  EXPECT_EQ(test::ReportLines(listing.View), expected);
  for (int i = 1; i < listing.View.LineCount(); ++i) {
    SCOPED_TRACE(i);
    const bool heading = i == 2;
    const bool library = i == 4 || i == 10;
    EXPECT_EQ(listing.View.Line(i).Bold, heading || library);
    EXPECT_EQ(listing.View.Line(i).Size, heading ? 10 : 8);
    EXPECT_EQ(listing.View.Line(i).Colour, ColourDefault);
  }
}

TEST(ImportListingLines, DescriptorsThunksAndNames) {
  auto bound = [](std::uint32_t stamp, bool lookup) {
    TImportDescriptor entry = Descriptor("B.dll", {"FromLookupTable"});
    entry.AddressTable = {"FromAddressTable"};
    entry.TimeDateStamp = stamp;
    entry.LookupTable = lookup;
    return entry;
  };
  struct TCase {
    const char* Name;
    std::vector<TImportDescriptor> Imports;
    TLines Lines; // after "Imports"
  };
  const TCase cases[] = {
      {"first descriptor has Name 0", {}, {}},
      {"empty thunk array adds no library",
       {Descriptor("Empty.dll", {}), Descriptor("A.dll", {"F"})},
       {"", "A.dll", "", "F"}},
      {"letters above 127 are not folded",
       {Descriptor("\xC4.dll", {"F"}), Descriptor("\xE4.dll", {"G"})},
       {"", "\xC4.dll", "", "F", "", "\xE4.dll", "", "G"}},
      {"a function imported twice is listed twice", {Descriptor("A.dll", {"F", "F"})}, {"", "A.dll", "", "F", "F"}},
      {"TimeDateStamp 0xFFFFFFFF walks OriginalFirstThunk",
       {bound(0xFFFFFFFF, true)},
       {"", "B.dll", "", "FromLookupTable"}},
      {"TimeDateStamp 0 walks FirstThunk", {bound(0, true)}, {"", "B.dll", "", "FromAddressTable"}},
      {"bound without a lookup table walks FirstThunk", {bound(1, false)}, {"", "B.dll", "", "FromAddressTable"}},
      {"ordinals up to 65535", {Descriptor("O.dll", {"#0", "#65535"})}, {"", "O.dll", "", "#0", "#65535"}},
      {"line breaks in names shown as two characters",
       {Descriptor("Fake\r\nLib.dll", {"Fn\nX"})},
       {"", "Fake\\r\\nLib.dll", "", "Fn\\nX"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPeBuilder builder;
    for (const TImportDescriptor& entry : c.Imports)
      builder.Import(entry);
    test::TPeLayout layout;
    TBytes file = builder.Build(&layout);
    if (c.Imports.empty()) {
      // A directory whose first descriptor already has Name 0.
      file = TPeBuilder().Import(Descriptor("Unused.dll", {"F"})).Build(&layout);
      test::PutDWord(file, layout.FileOffset(layout.ImportDirectory + 12), 0);
    }
    const TListing listing = List(file);
    EXPECT_EQ(listing.Failure, "");
    TLines expected = {"before", "", "Imports"};
    expected.insert(expected.end(), c.Lines.begin(), c.Lines.end());
    EXPECT_EQ(test::ReportLines(listing.View), expected);
    if (listing.View.LineCount() > 4) {
      EXPECT_TRUE(listing.View.Line(4).Bold);
      EXPECT_FALSE(listing.View.Line(6).Bold);
    }
  }
}

// A thunk with bit 31 set imports by ordinal from its low 16 bits; a thunk
// without it is the RVA of a hint, and the name follows 2 bytes later.
TEST(ImportListingLines, ThunkValuesAsStored) {
  TBytes idata(0x100, 0);
  const std::uint32_t va = 0x3000;
  test::PutDWord(idata, 12, va + 0x80);    // Name
  test::PutDWord(idata, 16, va + 0x40);    // FirstThunk
  test::PutDWord(idata, 0x40, 0xFFFF0010); // ordinal 16, bits 30 to 16 set
  test::PutDWord(idata, 0x44, 0x80000000); // ordinal 0
  test::PutDWord(idata, 0x48, va + 0x90);  // hint/name entry at 0x3090
  for (const char* p = "LIB.dll"; *p != 0; ++p)
    idata[0x80 + static_cast<std::size_t>(p - "LIB.dll")] = static_cast<std::uint8_t>(*p);
  idata[0x90] = 'h';
  idata[0x91] = 'h';
  idata[0x92] = 'N';
  const TListing listing = List(TPeBuilder().Section({".idata", va, 0x100, idata}).DataDirectory(1, va, 40).Build());
  EXPECT_EQ(listing.Failure, "");
  EXPECT_EQ(test::ReportLines(listing.View), (TLines{"before", "", "Imports", "", "LIB.dll", "", "#16", "#0", "N"}));
}

TEST(ImportListingFailures, AFailureWhileGatheringWritesNoImportLine) {
  struct TCase {
    const char* Name;
    std::uint32_t Offset; // in the import section
    std::uint32_t Value;
    const char* Message;
  };
  // Section layout of two descriptors with one function each: descriptors
  // at 0, lookup table of descriptor 1 at 60, address table at 68.
  const TCase cases[] = {
      {"library name outside the image", 20 + 12, 0x00FFFFF0, "imported library name"},
      {"thunk array outside the image", 20 + 16, 0x7FFFFFF0, "import thunk"},
      {"function name at RVA 2^32 - 2", 68, 0x7FFFFFFE, "imported function name"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TPeLayout layout;
    TPeBuilder builder;
    builder.Import("A.dll", {"F"}).Import("B.dll", {"G"}).Build(&layout);
    const TListing listing =
        List(builder.PatchDWord(layout.FileOffset(layout.ImportDirectory + c.Offset), c.Value).Build());
    EXPECT_NE(listing.Failure.find(c.Message), std::string::npos) << listing.Failure;
    EXPECT_EQ(test::ReportLines(listing.View), TLines{"before"});
  }
  // The library name is read only for a function: an empty array never reads it.
  test::TPeLayout layout;
  TPeBuilder builder;
  builder.Import("Empty.dll", {}).Import("A.dll", {"F"}).Build(&layout);
  const TListing quiet = List(builder.PatchDWord(layout.FileOffset(layout.ImportDirectory + 12), 0x7FFFFFF0).Build());
  EXPECT_EQ(quiet.Failure, "");
  EXPECT_EQ(test::ReportLines(quiet.View), (TLines{"before", "", "Imports", "", "A.dll", "", "F"}));
}

// Three descriptors share one thunk array of 400,000 ordinals: the walk
// stops with a failure when it would gather function 1,048,577.
TEST(ImportListingFailures, ManyDescriptorsSharingOneLongArrayStopAtTheLimit) {
  constexpr std::uint32_t va = 0x2000;
  constexpr std::uint32_t thunks = 400000;
  TBytes idata(0x100 + 4 * (thunks + 1), 0);
  for (std::uint32_t d = 0; d < 3; ++d) {
    test::PutDWord(idata, 20 * d + 12, va + 0x80);
    test::PutDWord(idata, 20 * d + 16, va + 0x100);
  }
  idata[0x80] = 'L';
  for (std::uint32_t i = 0; i < thunks; ++i)
    test::PutDWord(idata, 0x100 + 4 * i, 0x80000001);
  const TListing listing = List(TPeBuilder()
                                    .Section({".idata", va, static_cast<std::uint32_t>(idata.size()), idata})
                                    .DataDirectory(1, va, 80)
                                    .Build());
  EXPECT_NE(listing.Failure.find("more than 1048576 functions"), std::string::npos) << listing.Failure;
  EXPECT_EQ(test::ReportLines(listing.View), TLines{"before"});
}

// 1,100 sections map the same 1,000 descriptors one after the other, none
// importing anything: the walk stops when it would read descriptor 1,048,577.
TEST(ImportListingFailures, EndlessEmptyDescriptorsStopAtTheLimit) {
  constexpr std::uint32_t descriptors = 1000;
  constexpr std::uint32_t span = 20 * descriptors;
  TBytes raw(span + 8, 0);
  for (std::uint32_t d = 0; d < descriptors; ++d) {
    test::PutDWord(raw, 20 * d + 12, 0x10);          // Name: never read
    test::PutDWord(raw, 20 * d + 16, 0x1000 + span); // FirstThunk: a 0
  }
  constexpr std::uint32_t sections = 1100;
  // The builder puts the first section's bytes right after the headers.
  constexpr auto rawPointer =
      static_cast<std::uint32_t>((TPeBuilder::OptionalOffset + 224 + 40 * sections + TPeBuilder::FileAlignment - 1) /
                                 TPeBuilder::FileAlignment * TPeBuilder::FileAlignment);
  TPeBuilder builder;
  const test::TSectionSpec shared{".idata", 0x1000, span + 8, raw};
  builder.Section(shared);
  for (std::uint32_t i = 1; i < sections; ++i) {
    test::TSectionSpec copy{".idata", 0x1000 + i * span, span, {}, true, span, rawPointer};
    builder.Section(copy);
  }
  const TListing listing = List(builder.DataDirectory(1, 0x1000, 20).Build());
  EXPECT_NE(listing.Failure.find("more than 1048576 descriptors"), std::string::npos) << listing.Failure;
  EXPECT_EQ(test::ReportLines(listing.View), TLines{"before"});
}

// One descriptor imports the same 4 MiB name 100 times: the walk stops
// before the names pass 64 MiB in all, and nothing is written.
TEST(ImportListingFailures, NameBytesStopAtTheirLimit) {
  constexpr std::uint32_t va = 0x1000;
  constexpr std::uint32_t count = 100;
  TBytes idata(0x1000 + (4u << 20) + 1, 'B');
  std::fill(idata.begin(), idata.begin() + 0x1000, 0);
  idata.back() = 0;
  test::PutDWord(idata, 12, va + 0x1000); // Name: the long text as well
  test::PutDWord(idata, 16, va + 0x100);  // FirstThunk
  for (std::uint32_t i = 0; i < count; ++i)
    test::PutDWord(idata, 0x100 + 4 * i, va + 0x1000 - 2); // hint, then the long name
  const TListing listing = List(TPeBuilder()
                                    .Section({".idata", va, static_cast<std::uint32_t>(idata.size()), idata})
                                    .DataDirectory(1, va, 40)
                                    .Build());
  EXPECT_NE(listing.Failure.find("more than 67108864 bytes"), std::string::npos) << listing.Failure;
  EXPECT_EQ(test::ReportLines(listing.View), TLines{"before"});
}

// Counts the bytes of the texts read through it: the work of the listing.
class TCountingReader final : public TImageReader {
public:
  explicit TCountingReader(TImageReader& image) : FImage(image) {}
  std::uint16_t ReadWord(std::uint64_t rva, const TReadName& what) override { return FImage.ReadWord(rva, what); }
  std::uint32_t ReadDWord(std::uint64_t rva, const TReadName& what) override { return FImage.ReadDWord(rva, what); }
  std::uint64_t ReadQWord(std::uint64_t rva, const TReadName& what) override { return FImage.ReadQWord(rva, what); }
  bool Pe32Plus() const override { return FImage.Pe32Plus(); }
  using TImageReader::ReadText;
  std::string_view ReadText(std::uint64_t rva, const TReadName& what, std::string& buffer) override {
    const std::string_view text = FImage.ReadText(rva, what, buffer);
    TextBytes += text.size() + 1;
    return text;
  }
  std::uint64_t TextBytes = 0;

private:
  TImageReader& FImage;
};

// Library names count toward the same 64 MiB as function names, read by
// read: descriptors that share one huge name, or name places further and
// further into one long run of bytes, stop at the limit with nothing
// written, after reading little more than the limit.
TEST(ImportListingFailures, LibraryNameBytesCountTowardTheLimit) {
  constexpr std::uint32_t va = 0x1000;
  constexpr std::uint32_t run = 12u << 20; // 12 MiB of 'L', then a NUL
  constexpr std::uint32_t descriptors = 400;
  constexpr std::uint32_t thunks = 0x4000; // one ordinal, then 0
  constexpr std::uint32_t names = 0x5000;
  struct TCase {
    const char* Name;
    std::uint32_t NameStep; // from one descriptor's name to the next
  };
  for (const TCase& c : {TCase{"one shared name", 0}, TCase{"names at different places of one run", 4096}}) {
    SCOPED_TRACE(c.Name);
    TBytes idata(names + run + 1, 'L');
    std::fill(idata.begin(), idata.begin() + names, 0);
    idata.back() = 0;
    for (std::uint32_t d = 0; d < descriptors; ++d) {
      test::PutDWord(idata, 20 * d + 12, va + names + d * c.NameStep);
      test::PutDWord(idata, 20 * d + 16, va + thunks);
    }
    test::PutDWord(idata, thunks, 0x80000001);
    const TBytes file = TPeBuilder()
                            .Section({".idata", va, static_cast<std::uint32_t>(idata.size()), idata})
                            .DataDirectory(1, va, 20)
                            .Build();
    const TGuardedBytes guarded(file);
    TLoadedImage image(guarded.View(), TPeBuilder::PeOffset);
    TCountingReader reader(image);
    TMemoryReportView view;
    try {
      ReportImports(view, reader, va);
      ADD_FAILURE() << "listed";
    } catch (const TFormatError& error) {
      EXPECT_EQ(std::string(error.what()),
                "The imported library and function names hold more than 67108864 bytes; the listing stops here");
    }
    EXPECT_EQ(view.Text(), "");
    EXPECT_LE(reader.TextBytes, MaxImportTextBytes + run + 1);
  }
}

// Under the limit the listing is as before: a name read at the same RVA by
// many descriptors, a name that spans two regions, names that differ only
// in letter case, all grouped by first appearance.
TEST(ImportListingLines, SharedAndSpanningLibraryNames) {
  constexpr std::uint32_t va = 0x1000;
  TBytes idata(0x1000, 0);
  const auto put = [&](std::uint32_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), idata.begin() + static_cast<std::ptrdiff_t>(at));
  };
  const std::uint32_t nameRvas[] = {va + 0x800, va + 0x800, va + 0x810, va + 0xFFC, va + 0x800};
  put(0x800, "KERNEL32.dll");
  put(0x810, "kernel32.DLL");
  put(0xFFC, "USER"); // runs on into the next section: "USER32.dll"
  for (std::uint32_t d = 0; d < 5; ++d) {
    test::PutDWord(idata, 20 * d + 12, nameRvas[d]);
    test::PutDWord(idata, 20 * d + 16, va + 0x400 + 8 * d);
    test::PutDWord(idata, 0x400 + 8 * d, 0x80000000 + d);
  }
  TBytes next(0x100, 0);
  const std::string rest = "32.dll";
  std::copy(rest.begin(), rest.end(), next.begin());
  const TListing listing = List(TPeBuilder()
                                    .Section({".idata", va, 0x1000, idata})
                                    .Section({".next", va + 0x1000, 0x100, next})
                                    .DataDirectory(1, va, 20)
                                    .Build());
  EXPECT_EQ(listing.Failure, "");
  EXPECT_EQ(test::ReportLines(listing.View), (TLines{"before", "", "Imports", "", "KERNEL32.dll", "", "#0", "#1", "#2",
                                                     "#4", "", "USER32.dll", "", "#3"}));
}

TEST(ImportDirsCollection, FoldingOrderAndIndexBounds) {
  TImportDirs dirs;
  dirs.AddFunction("KERNEL32.dll", "A");
  dirs.AddFunction("user32.dll", "B");
  dirs.AddFunction("kernel32.DLL", "C");
  dirs.AddFunction("", "D");
  ASSERT_EQ(dirs.Count(), 3);
  EXPECT_EQ(dirs.GetDir(0).Name, "KERNEL32.dll");
  ASSERT_EQ(dirs.GetDir(0).Functions.size(), 2u);
  EXPECT_EQ(dirs.GetDir(0).Functions[0].Name, "A");
  EXPECT_EQ(dirs.GetDir(0).Functions[1].Name, "C");
  EXPECT_EQ(dirs.GetDir(1).Name, "user32.dll");
  EXPECT_EQ(dirs.FindDir("USER32.DLL"), &dirs.GetDir(1));
  EXPECT_EQ(dirs.FindDir(""), &dirs.GetDir(2));
  EXPECT_EQ(dirs.FindDir("user32.dl"), nullptr);
  EXPECT_EQ(dirs.FindDir("kernel32.dll\xFF"), nullptr);
  // Only a to z fold: '@' (0x40) and '`' (0x60) differ by the same bit.
  EXPECT_FALSE(SameLibraryName("@", "`"));
  EXPECT_FALSE(SameLibraryName("\xC4", "\xE4"));
  EXPECT_TRUE(SameLibraryName("aZ", "Az"));
  for (int index : {-1, 3, -2147483647 - 1}) {
    SCOPED_TRACE(index);
    try {
      dirs.GetDir(index);
      ADD_FAILURE() << "no failure";
    } catch (const TKorvaneError& error) {
      EXPECT_EQ(std::string(error.what()), "List index out of bounds (" + std::to_string(index) + ")");
    }
  }
  EXPECT_TRUE(IsOrdinalThunk(0x80000000));
  EXPECT_FALSE(IsOrdinalThunk(0x7FFFFFFF));
}

} // namespace
} // namespace korvane
