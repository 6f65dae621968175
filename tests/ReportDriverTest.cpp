// The report driver: outcome of every kind of file, the styled title and kind
// lines, release of everything it acquired, and reads that stay inside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "Errors.h"
#include "JsonReport.h"
#include "Platform.h"
#include "ReportDriver.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TBytes;
using test::TDosBuilder;
using test::TPeBuilder;
using test::TTempFile;

struct TRun {
  TMemoryReportView View;
  TReportDriver Driver{View, test::IsoFormatter()};
  std::string Failure;

  void Build(const std::string& path) {
    try {
      Driver.BuildReport(path);
    } catch (const TKorvaneError& error) {
      Failure = error.what();
    }
  }
};

void ExpectStyle(const TMemoryReportView& view, int line, int size, bool bold, std::uint32_t colour) {
  SCOPED_TRACE("line " + std::to_string(line));
  EXPECT_EQ(view.Line(line).Size, size);
  EXPECT_EQ(view.Line(line).Bold, bold);
  EXPECT_EQ(view.Line(line).Colour, colour);
}

TEST(ReportDriverOutcomes, DosProgram) {
  const TTempFile file(TDosBuilder().Build(), "prog.com");
  TRun run;
  run.Build(file.Path());
  ASSERT_EQ(run.Failure, "");
  const auto lines = test::ReportLines(run.View);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "prog.com");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "MS DOS Executable");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "Total 512-byte pages:\t0");
  ExpectStyle(run.View, 0, 12, true, ColourDefault);
  ExpectStyle(run.View, 2, 10, true, ColourDefault);
  ExpectStyle(run.View, 4, 8, false, ColourDefault);
  EXPECT_EQ(run.Driver.FileKind(), TFileKind::MsDos);
  EXPECT_STREQ(run.Driver.GetFileKindText(), "MS DOS Executable");
  EXPECT_EQ(run.Driver.FileName(), file.Path());
  EXPECT_EQ(run.View.CaretResets(), 1);
  EXPECT_EQ(run.View.LeftMargin(), 5);
}

TEST(ReportDriverOutcomes, Pe32AndPe32PlusKindLines) {
  struct TCase {
    const char* Name;
    TBytes Bytes;
    const char* KindLine;
  };
  const TCase cases[] = {
      {"PE32", TPeBuilder().Build(), "Portable Executable PE32"},
      {"PE32+", TPeBuilder().Pe32Plus().Build(), "Portable Executable PE32+"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TTempFile file(c.Bytes, "a.dll");
    TRun run;
    run.Build(file.Path());
    ASSERT_EQ(run.Failure, "");
    const auto lines = test::ReportLines(run.View);
    ASSERT_EQ(lines.size(), 4u + 18u);
    EXPECT_EQ(lines[0], "a.dll");
    EXPECT_EQ(lines[2], c.KindLine);
    EXPECT_EQ(lines[4].rfind("Characteristics:\t\t", 0), 0u);
    EXPECT_EQ(lines.back().rfind("Size of local heap to commit:\t", 0), 0u);
    ExpectStyle(run.View, 2, 10, true, ColourDefault);
    EXPECT_STREQ(run.Driver.GetFileKindText(), "Portable Executable");
    EXPECT_EQ(run.View.CaretResets(), 1);
  }
}

// The listings as data: the ordinal is the entry plus Base; a PE32+ file's
// listings (64-bit thunks, bit 63 the ordinal flag) go to the data only, and
// a failure in them ends the data alone.
TEST(ReportDriverValues, ListingsAsDataForPe32AndPe32Plus) {
  const auto listed = [](TPeBuilder builder) {
    return builder.ExportBase(5)
        .Export("Alpha", 0)
        .Export("Beta", 3)
        .Import("KERNEL32.dll", {"GetModuleHandleA", "#16"})
        .Import("USER32.dll", {"MessageBoxA"})
        .Build();
  };
  const std::string listings =
      R"("exports":[{"ordinal":5,"index":0,"name":"Alpha"},{"ordinal":8,"index":3,)"
      R"("name":"Beta"}],"imports":[{"library":"KERNEL32.dll","functions":)"
      R"(["GetModuleHandleA",{"ordinal":16}]},{"library":"USER32.dll","functions":["MessageBoxA"]}])";
  struct TCase {
    const char* Name;
    TBytes Bytes;
    bool TextLists;
    std::string DataEnd;
  };
  TBytes broken = listed(TPeBuilder().Pe32Plus());
  // The import directory's RVA past the image: only the data reads it.
  test::PutDWord(broken, TPeBuilder::OptionalOffset + 112 + 8, 0x7FFF0000);
  const TCase cases[] = {
      {"PE32", listed(TPeBuilder()), true, "," + listings + "}\n"},
      {"PE32+", listed(TPeBuilder().Pe32Plus()), false, "," + listings + "}\n"},
      {"PE32+ failing in the data", broken, false,
       R"(,"exports":[{"ordinal":5,"index":0,"name":"Alpha"},{"ordinal":8,"index":3,"name":"Beta"}],)"
       R"("error":{"message":"The image has no readable bytes for an import descriptor (Name) (4 bytes at RVA )"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TTempFile file(c.Bytes, "a.dll");
    TRun text;
    text.Build(file.Path());
    EXPECT_EQ(text.Failure, "");
    const auto lines = test::ReportLines(text.View);
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "Exports") != lines.end(), c.TextLists);
    if (c.TextLists) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), "0003\tBeta"), lines.end());
    }

    std::string out;
    TJsonReport json([&out](std::string_view part) { out.append(part); });
    TNullReportView unseen;
    TReportDriver driver(unseen, test::IsoFormatter(), json);
    json.WriteLine("a.dll", [&]() -> std::optional<std::string> {
      try {
        driver.BuildReport(file.Path());
      } catch (const TKorvaneError& error) {
        return error.what();
      }
      return std::nullopt;
    });
    const std::size_t end = out.find(R"(,"exports")");
    ASSERT_NE(end, std::string::npos) << out;
    EXPECT_EQ(out.substr(end, c.DataEnd.size()), c.DataEnd);
  }
}

TEST(ReportDriverOutcomes, OtherMagicGivesTheRedLineOnly) {
  const TTempFile file(TPeBuilder().Magic(0x0107).Build());
  TRun run;
  run.Build(file.Path());
  ASSERT_EQ(run.Failure, "");
  EXPECT_EQ(test::ReportLines(run.View), std::vector<std::string>{Win16ModuleMessage});
  ExpectStyle(run.View, 0, 8, true, ColourRed);
  EXPECT_EQ(run.Driver.FileKind(), TFileKind::PortableExecutable);
  EXPECT_EQ(run.Driver.FileName(), file.Path());
  EXPECT_EQ(run.View.CaretResets(), 0);
  EXPECT_EQ(run.View.StartSelections(), 1);
  EXPECT_EQ(run.View.UpdateDepth(), 0);
}

TEST(ReportDriverOutcomes, UnopenableAndEmptyFilesKeepThePreviousFile) {
  const TTempFile dos(TDosBuilder().Build(), "first.exe");
  const TTempFile empty(TBytes{}, "empty.exe");
  TRun run;
  run.Build(dos.Path());
  ASSERT_EQ(run.Failure, "");

  run.Build(empty.Path());
  EXPECT_EQ(run.Failure, "");
  EXPECT_EQ(run.View.LineCount(), 0);
  EXPECT_EQ(run.Driver.FileName(), dos.Path());
  EXPECT_EQ(run.View.CaretResets(), 2);

  run.Build(test::MissingPath());
  EXPECT_EQ(run.View.LineCount(), 0);
  EXPECT_EQ(run.Driver.FileName(), dos.Path());
  EXPECT_EQ(run.View.CaretResets(), 2);
  EXPECT_EQ(run.View.UpdateDepth(), 0);
#ifdef _WIN32
  EXPECT_EQ(run.Failure.rfind("System Error.  Code: 2.\r\n", 0), 0u) << run.Failure;
#else
  EXPECT_EQ(run.Failure, "System Error.  Code: 2.\r\nNo such file or directory");
  TRun folder;
  folder.Build(dos.Folder());
  EXPECT_EQ(folder.Failure, "System Error.  Code: 21.\r\nIs a directory");
#endif
  EXPECT_NE(run.Failure.back(), '.');
}

TEST(ReportDriverOutcomes, NewDriverReportsMsDosKind) {
  TMemoryReportView view;
  const TReportDriver driver(view);
  EXPECT_STREQ(driver.GetFileKindText(), "MS DOS Executable");
  EXPECT_EQ(driver.FileName(), "");
}

TEST(ReportDriverKind, PeSignatureOrRelocationOffsetChoosesThePePath) {
  struct TCase {
    const char* Name;
    TBytes Bytes;
    const char* KindLine;
  };
  TBytes text(200, 'x');
  const TCase cases[] = {
      {"e_lfarlc 0x60 with PE signature", TPeBuilder().PatchWord(0x18, 0x60).Build(), "Portable Executable PE32"},
      {"e_lfarlc 0x40 without PE signature", TPeBuilder().PatchDWord(TPeBuilder::PeOffset, 0).Build(),
       "Portable Executable PE32"},
      {"text file", text, "MS DOS Executable"},
      {"e_lfanew beyond the end", TDosBuilder().Word(0x3C, 0xFFFF).Word(0x3E, 0xFFFF).Build(), "MS DOS Executable"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryReportView view;
    TReportDriver driver(view, test::IsoFormatter());
    driver.ReportMappedFile(TByteView(c.Bytes.data(), c.Bytes.size()), "x");
    EXPECT_EQ(view.LineText(2), c.KindLine);
  }
}

TEST(ReportDriverFailures, ShortFilesNameWhatIsMissingAndKeepEarlierLines) {
  const TBytes pe = TPeBuilder().Build();
  struct TCase {
    const char* Name;
    TBytes Bytes;
    const char* Missing;
    int Lines;
  };
  const TCase cases[] = {
      {"ten bytes", TBytes(10, 'M'), "e_lfarlc", 2},
      {"PE mark, no e_lfanew", TBytes(pe.begin(), pe.begin() + 40), "e_lfanew", 2},
      {"e_lfanew outside the file", TBytes(pe.begin(), pe.begin() + 0x90), "optional header Magic", 2},
      {"PE headers cut", TBytes(pe.begin(), pe.begin() + TPeBuilder::OptionalOffset + 4), "ImageBase", 8},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TTempFile file(c.Bytes);
    TRun run;
    run.Build(file.Path());
    EXPECT_NE(run.Failure.find(c.Missing), std::string::npos) << run.Failure;
    EXPECT_EQ(run.View.LineCount(), c.Lines);
    EXPECT_EQ(run.View.LineText(0), "sample.exe");
    EXPECT_EQ(run.View.CaretResets(), 0);
    EXPECT_EQ(run.View.UpdateDepth(), 0);
  }
}

TEST(ReportDriverRelease, EveryPathReleasesFileAndMapping) {
  const TBytes pe = TPeBuilder().Build();
  const TTempFile good(pe);
  const TTempFile cut(TBytes(pe.begin(), pe.begin() + 0x100));
  const TTempFile empty(TBytes{});
  const TTempFile oldMagic(TPeBuilder().Magic(0x0107).Build());
  const std::string missing = test::MissingPath();

  const int before = test::OpenHandleCount();
  for (int i = 0; i < 20; ++i) {
    for (const std::string& path : {good.Path(), cut.Path(), empty.Path(), oldMagic.Path(), missing}) {
      TRun run;
      run.Build(path);
      EXPECT_EQ(run.View.UpdateDepth(), 0);
    }
  }
  EXPECT_EQ(test::OpenHandleCount(), before);
}

// Every length from 0 to past the PE headers, with the file's last byte at
// the end of a readable page: the engine must fail cleanly, never fault.
TEST(ReportDriverBounds, TruncatedFilesNeverReadPastTheEnd) {
  const TBytes files[] = {TPeBuilder().Build(), TPeBuilder().Pe32Plus().Build(), TDosBuilder().Build(),
                          TPeBuilder().PatchWord(0x18, 0x60).Build()};
  for (const TBytes& whole : files) {
    for (std::size_t length = 0; length <= TPeBuilder::OptionalOffset + 260 && length <= whole.size(); ++length) {
      SCOPED_TRACE(length);
      const test::TGuardedBytes guarded(TBytes(whole.begin(), whole.begin() + static_cast<long>(length)));
      TMemoryReportView view;
      TReportDriver driver(view, test::IsoFormatter());
      try {
        driver.ReportMappedFile(guarded.View(), "cut.exe");
      } catch (const TFormatError&) {
      }
      EXPECT_EQ(view.LineText(0), "cut.exe");
    }
  }
}

} // namespace
} // namespace korvane

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

// Forwards to a memory view, and cuts the file down to cutTo bytes when the
// report's second line (the kind line) is written: the header summaries
// then read pages the file no longer has.
class TShrinkingView final : public TReportView {
public:
  TShrinkingView(std::string path, off_t cutTo) : FPath(std::move(path)), FCutTo(cutTo) {}
  void BeginUpdate() override { Lines.BeginUpdate(); }
  void EndUpdate() override { Lines.EndUpdate(); }
  void Clear() override { Lines.Clear(); }
  int AddLine(std::string_view text) override {
    if (++FAdded == 2 && ::truncate(FPath.c_str(), FCutTo) != 0)
      ADD_FAILURE() << "truncate";
    return Lines.AddLine(text);
  }
  void SetText(std::string_view text) override { Lines.SetText(text); }
  std::string LineText(int index) const override { return Lines.LineText(index); }
  void FormatLine(int index, int size, std::uint32_t colour, bool bold) override {
    Lines.FormatLine(index, size, colour, bold);
  }
  void SetLeftMargin(int pixels) override { Lines.SetLeftMargin(pixels); }
  void ResetCaret() override { Lines.ResetCaret(); }
  void SelectStart() override { Lines.SelectStart(); }

  TMemoryReportView Lines;

private:
  std::string FPath;
  off_t FCutTo;
  int FAdded = 0;
};

// A file that another process shortens while it is read ends the run with
// a failure that says so, never with a signal; the lines before it stay.
TEST(ReportDriverFailures, FileThatShrinksWhileReadFailsCleanly) {
  test::TPeLayout layout;
  const TBytes bytes = TPeBuilder()
                           .Section(test::TSectionSpec{".data", 0x2000, 0x3000, TBytes(0x3000, 0x44)})
                           .Import("KERNEL32.dll", {"ExitProcess"})
                           .Build(&layout);
  for (const off_t cutTo : {off_t{0}, off_t{0x1000}}) {
    SCOPED_TRACE(cutTo);
    const TTempFile file(bytes);
    TShrinkingView view(file.Path(), cutTo);
    TReportDriver driver(view, test::IsoFormatter());
    try {
      driver.BuildReport(file.Path());
      ADD_FAILURE() << "no failure";
    } catch (const TKorvaneError& error) {
      EXPECT_EQ(std::string(error.what()), std::string(platform::FileShrankMessage));
    }
    EXPECT_EQ(view.Lines.LineText(0), "sample.exe");
  }
  // The run after it, of a file that stays whole, is not affected.
  const TTempFile whole(bytes);
  TRun run;
  run.Build(whole.Path());
  EXPECT_EQ(run.Failure, "");
}

// Anything that is not a regular file is refused when it is opened, without
// waiting for a writer of a FIFO and without reading a device.
TEST(ReportDriverFailures, OnlyRegularFilesAreOpened) {
  const TTempFile file(TBytes{});
  const std::string fifo = file.Folder() + "/korvane-fifo";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    TRun run;
    run.Build(path);
    EXPECT_EQ(run.Failure, path + " is not a regular file");
    EXPECT_EQ(test::ReportLines(run.View), std::vector<std::string>{});
  }
  ::unlink(fifo.c_str());
}

} // namespace
} // namespace korvane
#endif
