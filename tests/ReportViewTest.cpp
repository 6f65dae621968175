// The report views: line numbering and per-line styles as the rich edit
// control keeps them in memory, and the plain text the streaming view writes.
#include <gtest/gtest.h>

#include "Errors.h"
#include "MemoryReportView.h"
#include "ReportDriver.h"
#include "StreamReportView.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::ReportLines;
using test::TBytes;
using test::TPeBuilder;
using TLines = std::vector<std::string>;

// The plain text of an in-memory report as the CLI wrote it before it
// streamed: the whole text, with a break after a last line that has none.
std::string PlainText(const TMemoryReportView& view) {
  std::string text = view.Text();
  if (!text.empty() && text.back() != '\n')
    text += '\n';
  return text;
}

// A streaming view whose sink keeps every piece it is handed.
struct TStream {
  explicit TStream(std::size_t chunkBytes)
      : View([this](std::string_view text) { Pieces.emplace_back(text); }, chunkBytes) {}

  std::string Written() const {
    std::string text;
    for (const std::string& piece : Pieces)
      text += piece;
    return text;
  }

  std::vector<std::string> Pieces;
  TStreamReportView View;
};

TEST(ReportViewLines, AddLineReturnsFirstIndexAndSplitsAtLineFeeds) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Texts;
    std::vector<int> Indexes;
    TLines Lines;
  };
  const TCase cases[] = {
      {"empty text adds one empty line", {""}, {0}, {""}},
      {"name and line feed then next", {"name.exe\n", "next"}, {0, 2}, {"name.exe", "", "next"}},
      {"word, feed, three tabs, word", {"one\n\t\t\ttwo", "x"}, {0, 2}, {"one", "\t\t\ttwo", "x"}},
      {"two plain lines", {"a", "b"}, {0, 1}, {"a", "b"}},
      {"only a line feed", {"\n"}, {0}, {"", ""}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryReportView view;
    std::vector<int> indexes;
    for (const std::string& text : c.Texts)
      indexes.push_back(view.AddLine(text));
    EXPECT_EQ(indexes, c.Indexes);
    EXPECT_EQ(ReportLines(view), c.Lines);
  }
}

TEST(ReportViewLines, SetTextReplacesEverythingAndClearEmpties) {
  TMemoryReportView view;
  view.AddLine("first");
  view.FormatLine(0, 12, ColourUnchanged, true);
  view.SetText("only");
  EXPECT_EQ(ReportLines(view), TLines{"only"});
  EXPECT_EQ(view.LineText(0), "only");
  EXPECT_FALSE(view.Line(0).Bold);
  view.Clear();
  EXPECT_EQ(view.LineCount(), 0);
  EXPECT_EQ(view.AddLine("again"), 0);
  EXPECT_EQ(view.LineText(5), "");
}

TEST(ReportViewLines, KeepLinesEndsTheReportAfterTheKeptLinesWithTheirFormats) {
  struct TCase {
    int Kept;
    TLines Lines;
  };
  const std::vector<TCase> cases = {{0, {}},
                                    {1, {"title"}},
                                    {2, {"title", "plain"}},
                                    {3, {"title", "plain", "red"}},
                                    {-1, {"title", "plain", "red"}}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Kept);
    TMemoryReportView view;
    view.AddLine("title");
    view.AddLine("plain");
    view.AddLine("red");
    view.FormatLine(0, 12, ColourUnchanged, true);
    view.FormatLine(2, 8, ColourRed, true);
    view.KeepLines(c.Kept);
    view.ShrinkToFit();
    EXPECT_EQ(ReportLines(view), c.Lines);
    // A line added after the shrink starts plain, where a dropped line was styled.
    const int next = view.AddLine("next");
    EXPECT_EQ(next, static_cast<int>(c.Lines.size()));
    EXPECT_EQ(view.Line(next).Colour, ColourDefault);
    EXPECT_FALSE(view.Line(next).Bold);
    if (!c.Lines.empty()) {
      EXPECT_TRUE(view.Line(0).Bold);
    }
  }
}

TEST(ReportViewStyles, FormatLineReplacesStylesAndLeavesColourOnRequest) {
  TMemoryReportView view;
  view.AddLine("red");
  view.AddLine("plain");
  view.FormatLine(0, 8, ColourRed, true);
  view.FormatLine(0, 10, ColourUnchanged, true);
  view.FormatLine(1, 12, ColourUnchanged, false);

  EXPECT_EQ(view.Line(0).Colour, ColourRed);
  EXPECT_EQ(view.Line(0).Size, 10);
  EXPECT_TRUE(view.Line(0).Bold);
  EXPECT_EQ(view.Line(1).Colour, ColourDefault);
  EXPECT_EQ(view.Line(1).Size, 12);
  EXPECT_FALSE(view.Line(1).Bold);
}

TEST(ReportViewStyles, StyledLineDoesNotStyleTheLinesAppendedAfterIt) {
  TMemoryReportView view;
  EXPECT_EQ(view.AddStyledLine("title\n", 12), 0);
  view.AddLine("body");
  EXPECT_TRUE(view.Line(0).Bold);
  EXPECT_EQ(view.Line(0).Size, 12);
  EXPECT_FALSE(view.Line(2).Bold);
  EXPECT_EQ(view.Line(2).Size, 8);
}

TEST(StreamViewText, SameTextAndIndexesAsTheMemoryViewInChunksEndingAtBreaks) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Texts;
    const char* Replacement; // SetText before the texts, when not null
  };
  const TCase cases[] = {
      {"nothing", {}, nullptr},
      {"empty text adds one empty line", {""}, nullptr},
      {"title with its own feed, then lines", {"name.exe\n", "next", "", "last"}, nullptr},
      {"feeds inside texts", {"one\n\t\t\ttwo", "x\n\n"}, nullptr},
      {"replacement only, no final break", {}, "red line"},
      {"replacement ending in a feed", {}, "red\n"},
      {"lines continue the replacement's open line", {"tail", "more"}, "open"},
  };
  for (const TCase& c : cases) {
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{5}, TStreamReportView::DefaultChunkBytes}) {
      SCOPED_TRACE(std::string(c.Name) + ", chunk " + std::to_string(chunk));
      TMemoryReportView memory;
      TStream stream(chunk);
      if (c.Replacement != nullptr) {
        memory.SetText(c.Replacement);
        stream.View.SetText(c.Replacement);
      }
      for (const std::string& text : c.Texts)
        EXPECT_EQ(stream.View.AddLine(text), memory.AddLine(text));
      stream.View.Finish();
      EXPECT_EQ(stream.Written(), PlainText(memory));
      for (const std::string& piece : stream.Pieces)
        EXPECT_EQ(piece.back(), '\n') << piece;
    }
  }
}

TEST(StreamViewText, HeldLinesReadBackWrittenOnesReadEmpty) {
  TStream stream(8);
  stream.View.AddLine("0123456789"); // passes the chunk: written at once
  stream.View.AddLine("held");
  stream.View.SetLeftMargin(5);
  stream.View.FormatLine(1, 12, ColourRed, true);
  EXPECT_EQ(stream.Pieces, TLines{"0123456789\n"});
  EXPECT_EQ(stream.View.LineText(0), "");
  EXPECT_EQ(stream.View.LineText(1), "held");
  EXPECT_EQ(stream.View.LineText(2), "");
  EXPECT_EQ(stream.View.LineText(-1), "");
  EXPECT_EQ(stream.View.WrittenBytes(), 11u);
}

TEST(StreamViewText, NothingWrittenCannotBeReplacedOrCleared) {
  TStream stream(4);
  stream.View.AddLine("title");
  for (const bool replace : {true, false}) {
    SCOPED_TRACE(replace ? "SetText" : "Clear");
    try {
      if (replace)
        stream.View.SetText("red line");
      else
        stream.View.Clear();
      FAIL() << "no failure";
    } catch (const TKorvaneError& error) {
      EXPECT_STREQ(error.what(), StreamAlreadyWrittenMessage);
    }
  }
  stream.View.Finish();
  EXPECT_EQ(stream.Written(), "title\n");
}

// The driver's whole report through both views: a listing, the red line that
// replaces a report, a DOS program, and failures before and in the middle of
// the listings. The chunk is larger than a title line, as the CLI's is.
TEST(StreamViewText, DriverReportsAreTheMemoryViewsTextAndKeepLinesBeforeAFailure) {
  const auto listings = [] {
    return TPeBuilder().Export("Alpha", 0).Export("Beta", 2).Import("KERNEL32.dll", {"GetModuleHandleA", "#16"});
  };
  test::TPeLayout layout;
  listings().Build(&layout);
  const std::size_t importName = layout.FileOffset(layout.ImportDirectory) + 12;
  const TBytes pe = TPeBuilder().Build();
  struct TCase {
    const char* Name;
    TBytes Bytes;
    const char* Failure;    // part of the message, or "" for none
    bool PassesAChunkFirst; // more than 300 bytes come before the failure
  };
  const TCase cases[] = {
      {"exports and imports", listings().Build(), "", false},
      {"other optional header Magic", TPeBuilder().Magic(0x0107).Build(), "", false},
      {"DOS program", test::TDosBuilder().Build(), "", false},
      {"PE headers truncated", TBytes(pe.begin(), pe.begin() + TPeBuilder::OptionalOffset + 4), "ImageBase", false},
      {"library name out of the image", listings().PatchDWord(importName, 0xFFFFFFF0).Build(),
       "an imported library name", true},
  };
  for (const TCase& c : cases) {
    for (const std::size_t chunk : {std::size_t{300}, TStreamReportView::DefaultChunkBytes}) {
      SCOPED_TRACE(std::string(c.Name) + ", chunk " + std::to_string(chunk));
      const test::TTempFile file(c.Bytes);
      TMemoryReportView memory;
      TStream stream(chunk);
      std::string failures[2];
      TReportView* views[2] = {&memory, &stream.View};
      for (int i = 0; i < 2; ++i) {
        try {
          TReportDriver(*views[i], test::IsoFormatter()).BuildReport(file.Path());
        } catch (const TKorvaneError& error) {
          failures[i] = error.what();
        }
      }
      const std::size_t writtenBeforeTheEnd = stream.View.WrittenBytes();
      stream.View.Finish();
      EXPECT_NE(failures[0].find(c.Failure), std::string::npos) << failures[0];
      EXPECT_EQ(failures[1], failures[0]);
      EXPECT_EQ(stream.Written(), PlainText(memory));
      if (chunk == 300 && c.PassesAChunkFirst) {
        EXPECT_GT(writtenBeforeTheEnd, 0u) << "the failure came before any text was written";
      }
    }
  }
}

} // namespace
} // namespace korvane
