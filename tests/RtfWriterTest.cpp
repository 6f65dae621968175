// The RTF form of the report: styles carried, special characters escaped,
// and pieces that join into the whole document.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "RtfWriter.h"

namespace korvane {
namespace {

TEST(RtfDocument, StylesColoursAndEscapes) {
  TMemoryReportView view;
  view.AddStyledLine("Title {x}\\", 12);
  view.AddLine("a\tb \xE9");
  view.FormatLine(view.AddLine("red"), 8, ColourRed, true);
  const std::string rtf = ReportToRtf(view);
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi", 0), 0u);
  EXPECT_NE(rtf.find("{\\colortbl;\\red255\\green0\\blue0;}"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("{\\f0\\fs24\\b Title \\{x\\}\\\\}\\par\n"), std::string::npos) << rtf;
  // A plain line takes the document's 8 point without a group of its own.
  EXPECT_NE(rtf.find("}\\par\na\\tab b \\'e9\\par\n"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("}\\f0\\fs16\n"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("{\\f0\\fs16\\b\\cf1 red}\\par\n"), std::string::npos) << rtf;
  EXPECT_EQ(rtf.back(), '\n');
}

// Reads the RTF the writer makes as a rich edit control takes it, into the
// lines it shows, each as "[stops]" and its text with "<half points, bold,
// colour>" before each run of one format. A document that replaces the
// content loses the break after its last line; one inserted at the end
// continues the last line.
void StreamInto(std::vector<std::string>& lines, const std::string& rtf, bool atEnd) {
  struct TState {
    std::string Format = "<0 0 auto>";
    bool Text = true;
    bool Colours = false;
  };
  if (!atEnd)
    lines.assign(1, "");
  std::vector<TState> groups(1);
  std::vector<std::string> colours;
  std::uint32_t colour = 0;
  std::string stops;
  std::string lastFormat;
  const auto put = [&](char c) {
    if (groups.back().Colours && c == ';')
      colours.push_back(colours.empty() ? "auto" : std::to_string(std::exchange(colour, 0)));
    if (!groups.back().Text)
      return;
    if (lines.back().empty()) {
      lines.back() = "[" + stops + "]";
      lastFormat.clear();
    }
    if (groups.back().Format != lastFormat)
      lines.back() += lastFormat = groups.back().Format;
    lines.back() += c;
  };
  for (std::size_t i = 0; i < rtf.size();) {
    const char c = rtf[i++];
    if (c == '{' || c == '}') {
      c == '{' ? groups.push_back(groups.back()) : groups.pop_back();
    } else if (c != '\\') {
      if (c != '\n')
        put(c);
    } else if (rtf[i] == '\'') {
      put(static_cast<char>(std::stoi(rtf.substr(i + 1, 2), nullptr, 16)));
      i += 3;
    } else if (!std::isalpha(static_cast<unsigned char>(rtf[i]))) {
      put(rtf[i++]);
    } else {
      const std::size_t digits = rtf.find_first_of("-0123456789 \\{}\n;", i);
      const std::string word = rtf.substr(i, digits - i);
      const bool hasValue = rtf[digits] != ' ' && rtf.find_first_of("-0123456789", digits) == digits;
      char* end = nullptr;
      const long value = hasValue ? std::strtol(rtf.c_str() + digits, &end, 10) : 0;
      i = hasValue ? static_cast<std::size_t>(end - rtf.c_str()) : digits;
      i += rtf[i] == ' ' ? 1u : 0u;
      TState& state = groups.back();
      std::string& format = state.Format;
      if (word == "fonttbl" || word == "colortbl")
        state = {format, false, word == "colortbl"};
      else if (word == "red" || word == "green" || word == "blue")
        colour |= static_cast<std::uint32_t>(value) << (word == "red" ? 0 : word == "green" ? 8 : 16);
      else if (word == "fs")
        format = "<" + std::to_string(value) + " 0 auto>";
      else if (word == "b")
        format.replace(format.find(' '), 2, hasValue && value == 0 ? " 0" : " 1");
      else if (word == "cf")
        format.replace(format.rfind(' ') + 1, std::string::npos, colours.at(static_cast<std::size_t>(value)) + ">");
      else if (word == "pard")
        stops.clear();
      else if (word == "tx")
        stops += " " + std::to_string(value);
      else if (word == "tab")
        put('\t');
      else if (word == "par")
        lines.emplace_back();
    }
  }
  if (!atEnd && lines.size() > 1 && lines.back().empty())
    lines.pop_back();
}

TEST(RtfPieces, JoinIntoTheTextStylesAndTabStopsOfTheWholeDocument) {
  TMemoryReportView view;
  view.AddStyledLine("Title {x}\\", ReportTitleSize);
  view.AddLine("");
  view.AddLine("Machine:\t\t\t014C \xE9");
  view.AddLine("Size:\t\t0x10");
  view.AddLine("after the TABs, none");
  view.AddStyledLine("Exports", ReportHeadingSize);
  view.AddLine("Ordinal\tFunction");
  view.AddLine("0001\tAlpha");
  view.FormatLine(view.AddLine("a red line"), ReportBodySize, ColourRed, true);
  view.FormatLine(view.AddLine("0002\tBlue"), ReportBodySize, 0xFF0000, false);
  view.AddLine("");
  view.AddLine("Time:\t\t12:00");
  view.FormatLine(view.AddLine("the last, red again"), ReportHeadingSize, ColourRed, false);
  // A grid with stops of its own for each count of leading TABs, and an even one.
  const std::vector<TMeasuredLabel> labels = {{0, 3}, {40, 2}, {30, 1}, {20, 1, TValueColumn::ExportName}};
  const TTabGrid uneven = TTabGrid::Fit(labels, 3).Scaled(15, 1);
  const TTabGrid even = TTabGrid::Fit(std::vector<TMeasuredLabel>{{0, 3}, {40, 2}, {100, 1}}, 3).Scaled(15, 1);
  ASSERT_NE(uneven.StopsFor(1), uneven.StopsFor(3));
  const struct {
    const char* Name;
    int FirstPieceLines;
    int PieceLines;
    const TTabGrid* Tabs;
  } rows[] = {
      {"a line a piece", 1, 1, &uneven},
      {"pieces of two", 2, 2, &uneven},
      {"pieces of five after one of three", 3, 5, &uneven},
      {"one piece", 13, 13, &uneven},
      {"one line, then the rest", 1, 12, &uneven},
      {"pieces of three, even stops", 3, 3, &even},
      {"pieces without stops", 4, 4, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    std::vector<std::string> whole;
    StreamInto(whole, ReportToRtf(view, 1252, row.Tabs), false);
    ASSERT_EQ(whole.size(), static_cast<std::size_t>(view.LineCount()));
    for (std::size_t i = 0; i < whole.size(); ++i)
      EXPECT_EQ(std::regex_replace(whole[i], std::regex("<[^>]*>|^\\[[^\\]]*\\]"), ""),
                view.Line(static_cast<int>(i)).Text);
    std::vector<std::string> joined;
    StreamInto(joined, ReportLinesToRtf(view, {0, row.FirstPieceLines}, 1252, row.Tabs), false);
    for (int start = row.FirstPieceLines; start < view.LineCount(); start += row.PieceLines)
      StreamInto(joined, ReportLinesToRtf(view, {start, row.PieceLines}, 1252, row.Tabs), true);
    EXPECT_EQ(joined, whole);
  }
}

} // namespace
} // namespace korvane
