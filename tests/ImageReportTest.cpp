// The loaded image in the report driver: the listings follow the PE header
// summary of PE32 files only, and the image is released on every path
// before the file, also when a failure travels out.
#include <gtest/gtest.h>

#include "Errors.h"
#include "ImageMemory.h"
#include "ReportDriver.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TBytes;
using test::TPeBuilder;
using test::TTempFile;
using TLines = std::vector<std::string>;

constexpr int HeaderLines = 4 + 18; // title, kind and the PE header summary

struct TRun {
  TMemoryReportView View;
  TReportDriver Driver{View, test::IsoFormatter()};
  std::string Failure;

  explicit TRun(const TBytes& bytes) {
    const TTempFile file(bytes, "image.dll");
    try {
      Driver.BuildReport(file.Path());
    } catch (const TKorvaneError& error) {
      Failure = error.what();
    }
  }

  TLines Listings() const {
    const TLines lines = test::ReportLines(View);
    return TLines(lines.begin() + std::min<std::ptrdiff_t>(HeaderLines, static_cast<std::ptrdiff_t>(lines.size())),
                  lines.end());
  }
};

TEST(ImageReport, ListingsFollowTheSummaryOfPe32Only) {
  TPeBuilder builder;
  builder.Export("Alpha", 0).Import("KERNEL32.dll", {"ExitProcess"});
  const TRun pe32(TPeBuilder(builder).Build());
  EXPECT_EQ(pe32.Failure, "");
  EXPECT_EQ(pe32.Listings(), (TLines{"", "Exports", "", "Ordinal\tFunction", "0000\tAlpha", "", "Imports", "",
                                     "KERNEL32.dll", "", "ExitProcess"}));
  EXPECT_EQ(pe32.View.CaretResets(), 1);

  const TRun pe32Plus(TPeBuilder(builder).Pe32Plus().Build());
  EXPECT_EQ(pe32Plus.Failure, "");
  EXPECT_EQ(pe32Plus.Listings(), TLines{});

  const TRun bare(TPeBuilder().Build());
  EXPECT_EQ(bare.Failure, "");
  EXPECT_EQ(bare.Listings(), TLines{});
}

TEST(ImageReport, FailuresKeepTheLinesBeforeThem) {
  struct TCase {
    const char* Name;
    TBytes Bytes;
    std::size_t Lines; // after the summary
    const char* Message;
  };
  const TBytes pe = TPeBuilder().Build();
  test::TPeLayout layout;
  TPeBuilder importing;
  importing.Export("Alpha", 0).Import("A.dll", {"F"}).Build(&layout);
  const TCase cases[] = {
      {"file shorter than SizeOfHeaders", TBytes(pe.begin(), pe.end() - 1), 0, "SizeOfHeaders"},
      {"relocation block outside the image", TPeBuilder().DataDirectory(5, 0x7FFF0000, 8).Build(), 0,
       "base relocation block"},
      {"import thunk outside the image",
       TPeBuilder(importing).PatchDWord(layout.FileOffset(layout.ImportDirectory + 16), 0x7FFF0000).Build(), 5,
       "import thunk"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TRun run(c.Bytes);
    EXPECT_NE(run.Failure.find(c.Message), std::string::npos) << run.Failure;
    EXPECT_EQ(run.Listings().size(), c.Lines);
    EXPECT_EQ(run.View.LineCount(), HeaderLines + static_cast<int>(c.Lines));
    EXPECT_EQ(run.View.UpdateDepth(), 0);
    EXPECT_EQ(run.View.CaretResets(), 0);
  }
}

// 256 MB of address space per image: were one kept, a 32-bit process would
// soon run out of address space and fail to reserve; the count of held
// reservations shows a leak anywhere.
TEST(ImageReport, EveryPathReleasesTheImageAndTheFile) {
  test::TPeLayout layout;
  TPeBuilder builder;
  builder.SizeOfImage(0x10000000).Import("A.dll", {"F"}).Build(&layout);
  const TBytes failing =
      TPeBuilder(builder).PatchDWord(layout.FileOffset(layout.ImportDirectory + 16), 0x7FFF0000).Build();
  const TBytes good = builder.Build();
  const int handles = test::OpenHandleCount();
  for (int i = 0; i < 8; ++i) {
    const TRun bad(failing);
    EXPECT_NE(bad.Failure.find("import thunk"), std::string::npos) << bad.Failure;
    EXPECT_EQ(platform::TAddressReservation::HeldCount(), 0);
    const TRun fine(good);
    EXPECT_EQ(fine.Failure, "");
    EXPECT_EQ(platform::TAddressReservation::HeldCount(), 0);
  }
  EXPECT_EQ(test::OpenHandleCount(), handles);
}

} // namespace
} // namespace korvane
