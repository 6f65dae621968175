// The in-memory report view: line numbering and per-line styles as the
// rich edit control keeps them.
#include <gtest/gtest.h>

#include "MemoryReportView.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::ReportLines;
using TLines = std::vector<std::string>;

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
  view.FormatLine(0, 12, ColourLeave, true);
  view.SetText("only");
  EXPECT_EQ(ReportLines(view), TLines{"only"});
  EXPECT_EQ(view.LineText(0), "only");
  EXPECT_FALSE(view.Line(0).Bold);
  view.Clear();
  EXPECT_EQ(view.LineCount(), 0);
  EXPECT_EQ(view.AddLine("again"), 0);
  EXPECT_EQ(view.LineText(5), "");
}

TEST(ReportViewStyles, FormatLineReplacesStylesAndLeavesColourOnRequest) {
  TMemoryReportView view;
  view.AddLine("red");
  view.AddLine("plain");
  view.FormatLine(0, 8, ColourRed, true);
  view.FormatLine(0, 10, ColourLeave, true);
  view.FormatLine(1, 12, ColourLeave, false);

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

} // namespace
} // namespace korvane
