// The view of a file: a report read through windows is the report read
// through one view of the whole file, appended data takes no address space,
// and a file that cannot be mapped fails with the system's message.
#include <gtest/gtest.h>

#include <filesystem>

#include "Errors.h"
#include "FileView.h"
#include "ReportDriver.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TBytes;
using test::TPeBuilder;
using test::TTempFile;

// The smallest windows there are, so that tables straddle them.
constexpr std::uint64_t SmallWindow = platform::ViewAlignment;

struct TViewReport {
  std::vector<std::string> Lines;
  std::string Failure;
  std::uint64_t MappedBytes = 0;
};

TViewReport ReportThrough(const std::string& path, std::uint64_t wholeLimit, std::uint64_t windowBytes) {
  TViewReport report;
  TMemoryReportView lines;
  TReportDriver driver(lines, test::IsoFormatter());
  try {
    const platform::TReadOnlyFile file(path);
    TFileView view(file, wholeLimit, windowBytes);
    try {
      driver.ReportMappedFile(view.Bytes(), path);
    } catch (const TKorvaneError& error) {
      report.Failure = error.what();
    }
    report.MappedBytes = view.MappedBytes();
  } catch (const TKorvaneError& error) {
    report.Failure = error.what();
  }
  report.Lines = test::ReportLines(lines);
  return report;
}

TBytes Listed(std::uint32_t padding) {
  return TPeBuilder()
      .Section(test::TSectionSpec{".pad", 0x1000, padding, TBytes(padding, 0x5A)})
      .Export("Alpha", 0)
      .Export("Beta", 1)
      .Import("KERNEL32.dll", {"ExitProcess", "#16"})
      .Import("USER32.dll", {"MessageBoxA"})
      .Build();
}

TEST(FileViewWindows, ReportIsTheReportOfTheWholeView) {
  std::vector<std::pair<std::string, TBytes>> files = {
      {"listings after three windows", Listed(0x30000)},
      {"listings inside the first window", Listed(0x100)},
      {"PE32+", TPeBuilder().Pe32Plus().Build()},
  };
  const TBytes cut = Listed(0x30000);
  for (const std::size_t length : {std::size_t{0x10002}, cut.size() - 3})
    files.emplace_back("cut at " + std::to_string(length),
                       TBytes(cut.begin(), cut.begin() + static_cast<long>(length)));
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const TTempFile file(bytes);
    const TViewReport whole = ReportThrough(file.Path(), UINT64_MAX, SmallWindow);
    const TViewReport windows = ReportThrough(file.Path(), 0, SmallWindow);
    EXPECT_GT(whole.Lines.size(), 3u);
    EXPECT_EQ(windows.Lines, whole.Lines);
    EXPECT_EQ(windows.Failure, whole.Failure);
  }
  // Real DLLs, where the machine has them.
  for (const char* path : {"/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll",
                           "/usr/lib/i386-linux-gnu/wine/i386-windows/shell32.dll"}) {
    if (!std::filesystem::exists(path))
      continue;
    SCOPED_TRACE(path);
    const TViewReport whole = ReportThrough(path, UINT64_MAX, SmallWindow);
    const TViewReport windows = ReportThrough(path, 0, SmallWindow);
    EXPECT_EQ(windows.Lines, whole.Lines);
    EXPECT_EQ(windows.Failure, whole.Failure);
  }
}

// Data appended after the sections (an installer's archive) is never read,
// so it is never mapped: the report takes the same windows whatever follows.
TEST(FileViewWindows, AppendedDataIsNotMapped) {
  const TBytes bytes = Listed(0x30000);
  const TTempFile file(bytes);
  const TViewReport alone = ReportThrough(file.Path(), 0, SmallWindow);
  std::filesystem::resize_file(file.Path(), std::uint64_t{256} << 20);
  const TViewReport appended = ReportThrough(file.Path(), 0, SmallWindow);
  EXPECT_EQ(appended.Lines, alone.Lines);
  EXPECT_EQ(appended.Failure, "");
  EXPECT_LE(appended.MappedBytes, bytes.size() + 2 * SmallWindow);
  // The whole view of the same file maps all of it.
  EXPECT_EQ(ReportThrough(file.Path(), UINT64_MAX, SmallWindow).MappedBytes, std::uint64_t{256} << 20);
}

TEST(FileViewWindows, EmptyFileHasNoView) {
  const TTempFile file(TBytes{});
  const platform::TReadOnlyFile opened(file.Path());
  const TFileView view(opened);
  EXPECT_TRUE(view.Empty());
  EXPECT_EQ(view.MappedBytes(), 0u);
}

#ifndef _WIN32
// A regular file whose bytes the system will not map (a kernel attribute
// file) fails as a file that cannot be opened does, with the system's code.
TEST(FileViewWindows, FileThatCannotBeMappedFailsWithTheSystemsMessage) {
  const char* path = "/sys/kernel/mm/transparent_hugepage/enabled";
  if (!std::filesystem::exists(path))
    GTEST_SKIP() << path << " is not there";
  const platform::TReadOnlyFile file(path);
  try {
    const TFileView view(file);
    ADD_FAILURE() << "mapped";
  } catch (const TOsError& error) {
    EXPECT_NE(error.Code(), 0);
    EXPECT_EQ(std::string(error.what()).rfind("System Error.  Code: " + std::to_string(error.Code()) + ".\r\n", 0), 0u)
        << error.what();
  }
}
#endif

} // namespace
} // namespace korvane
