// The tab grid of the report's columns: the labels it is fitted to come from
// the report itself, and every label with its TABs lands on its column.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ColumnLabels.h"
#include "PeBuilder.h"
#include "ReportDriver.h"
#include "RtfWriter.h"
#include "TabGrid.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TDosBuilder;
using test::TPeBuilder;
using test::TTempFile;

// Where the value after a label of this width and its TABs starts.
int ValueX(const TTabGrid& grid, int width, int tabs) {
  int x = width;
  for (int i = 0; i < tabs; ++i)
    x = NextTabStop(grid.StopsFor(tabs), x, 720);
  return x;
}

// Distinct value positions per column, and whether every label keeps gap.
std::map<TValueColumn, std::vector<int>> ValueColumns(const TTabGrid& grid, const std::vector<TMeasuredLabel>& labels,
                                                      int gap, bool& gapKept) {
  std::map<TValueColumn, std::vector<int>> columns;
  gapKept = true;
  for (const TMeasuredLabel& label : labels) {
    const int x = ValueX(grid, label.Width, label.Tabs);
    gapKept = gapKept && x >= label.Width + gap;
    std::vector<int>& xs = columns[label.Column];
    if (std::find(xs.begin(), xs.end(), x) == xs.end())
      xs.push_back(x);
  }
  return columns;
}

// Widths of the characters of a proportional sans-serif face at scale 1, close
// to those of the bitmap face the report's TAB counts were made for.
int CharacterWidth(char c) {
  const std::string_view narrow = "ilIj'.,:;|!", mid = "tfr ()-/", wideLower = "mw", wideUpper = "MW",
                         roundUpper = "OQDGH", slimLower = "cksvxyz";
  if (narrow.find(c) != std::string_view::npos)
    return 2;
  if (mid.find(c) != std::string_view::npos)
    return 3;
  if (wideLower.find(c) != std::string_view::npos)
    return 8;
  if (wideUpper.find(c) != std::string_view::npos)
    return 9;
  if (roundUpper.find(c) != std::string_view::npos)
    return 8;
  if (slimLower.find(c) != std::string_view::npos)
    return 5;
  return c >= 'A' && c <= 'Z' ? 7 : 6;
}

// The report's labels as that face draws them, scaled; one label may be made wider.
std::vector<TMeasuredLabel> Measure(int scale, int extraForBold, int widerLabelBy = 0,
                                    std::string_view widerLabel = {}) {
  std::vector<TMeasuredLabel> measured;
  for (const TColumnLabel& label : ReportColumnLabels()) {
    int width = label.Bold ? extraForBold : 0;
    for (const char c : label.Text)
      width += CharacterWidth(c) * scale;
    if (label.Text == widerLabel)
      width += widerLabelBy;
    measured.push_back({width, label.Tabs, label.Column});
  }
  return measured;
}

// ---- the labels are the report's own ----

TEST(ColumnLabels, EveryTabbedLineOfTheSummariesStartsWithALabelAndEveryLabelIsWritten) {
  const TTempFile dos{TDosBuilder().Word(0x1C, 1).Byte(0x1E, 0xFB).Byte(0x1F, 0x21).Build(), "labels.exe"};
  const TTempFile pe{TPeBuilder().Characteristics(0x2102).Export("Alpha", 1).Export("Beta", 2).Build(), "labels.dll"};
  std::vector<std::string> leads;
  for (const TTempFile* file : {&dos, &pe}) {
    TMemoryReportView view;
    TReportDriver driver(view, test::IsoFormatter());
    driver.BuildReport(file->Path());
    for (const std::string& line : test::ReportLines(view)) {
      const std::size_t tab = line.find('\t');
      if (tab == std::string::npos)
        continue;
      const std::size_t end = line.find_first_not_of('\t', tab);
      leads.push_back(line.substr(0, end == std::string::npos ? line.size() : end));
    }
  }
  const std::vector<TColumnLabel> labels = ReportColumnLabels();
  std::vector<std::string> known;
  for (const TColumnLabel& label : labels)
    known.push_back(LabelLead(label));
  for (const std::string& lead : leads) {
    SCOPED_TRACE(lead);
    const bool ordinal = lead.size() == 5 && std::all_of(lead.begin(), lead.begin() + 4, ::isdigit);
    if (ordinal)
      EXPECT_EQ(lead.back(), '\t') << "one TAB after the ordinal, as after the widest one";
    else
      EXPECT_NE(std::find(known.begin(), known.end(), lead), known.end()) << "a lead no label describes";
  }
  for (const TColumnLabel& label : labels) {
    if (label.Text == "65535")
      continue; // stands for the ordinals, which the samples write as 0001 and 0002
    SCOPED_TRACE(std::string(label.Text));
    EXPECT_NE(std::find(leads.begin(), leads.end(), LabelLead(label)), leads.end())
        << "a label the report never writes";
  }
}

// ---- fitting ----

TEST(TabGridFit, EveryLabelEndsOnTheValueColumnOfItsKind) {
  const struct {
    const char* Name;
    std::vector<TMeasuredLabel> Labels;
    int Gap;
    bool Even;
    int KeptGap; // what the grid keeps between a label and its value
  } rows[] = {
      {"the face at 1", Measure(1, 1), 3, true, 3},
      {"the face at 3, no gap", Measure(3, 2), 0, true, 0},
      {"the face at 10", Measure(10, 8), 30, true, 30},
      {"the widest gap the face allows", Measure(1, 1), 7, true, 7},
      {"a gap no grid leaves", Measure(1, 1), 8, false, 8},
      // A two-TAB label that passes two stops pushes its value one further.
      {"a label too wide for its TABs", Measure(2, 2, 60, "Subsystem version:"), 3, false, 3},
      {"a label wider than the widest", Measure(2, 2, 400, "Checksum:"), 3, false, 3},
      {"no gap in the fallback", Measure(2, 2, 60, "Subsystem version:"), 0, false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    const TTabGrid grid = TTabGrid::Fit(row.Labels, row.Gap);
    EXPECT_EQ(grid.Even(), row.Even);
    bool gapKept = false;
    const auto columns = ValueColumns(grid, row.Labels, std::max(row.KeptGap, 1), gapKept);
    EXPECT_TRUE(gapKept) << "a value closer to its label than the gap";
    for (const auto& [column, xs] : columns)
      EXPECT_EQ(xs.size(), 1u) << "values of one kind in " << xs.size() << " columns";
    if (row.Even) {
      ASSERT_EQ(grid.StopsFor(1).size(), static_cast<std::size_t>(MaxTabStops));
      EXPECT_EQ(grid.StopsFor(3).back(), MaxTabStops * grid.Spacing());
      // The narrowest: one unit less fails.
      TTabGrid narrower = grid.Scaled(grid.Spacing() - 1, grid.Spacing());
      const auto worse = ValueColumns(narrower, row.Labels, std::max(row.KeptGap, 1), gapKept);
      const bool aligned = std::all_of(worse.begin(), worse.end(), [](const auto& c) { return c.second.size() == 1; });
      EXPECT_FALSE(aligned && gapKept) << "spacing " << grid.Spacing() - 1 << " fits as well";
    } else {
      int widest = 0;
      int widestName = 0;
      for (const TMeasuredLabel& label : row.Labels) {
        widest = std::max(widest, label.Width);
        if (label.Column == TValueColumn::ExportName)
          widestName = std::max(widestName, label.Width);
      }
      // The header values at the widest label plus the gap, the export
      // names at the widest of theirs plus the gap.
      EXPECT_EQ(columns.at(TValueColumn::HeaderValue).front(), widest + std::max(row.Gap, 3));
      EXPECT_EQ(columns.at(TValueColumn::ExportName).front(), widestName + std::max(row.Gap, 1));
    }
  }
}

TEST(TabGridFit, SmallestGridOfTheHeaderLabelsIsChosenOverLargerOnes) {
  // Widths that allow the spacings 21 to 25 only.
  const std::vector<TMeasuredLabel> labels = {{0, 3}, {20, 3}, {26, 2}, {60, 1}, {51, 1}};
  const TTabGrid grid = TTabGrid::Fit(labels, 1);
  EXPECT_EQ(grid.Spacing(), 21);
}

TEST(TabGridScaled, PositionsConvertAndStaySeparate) {
  const std::vector<TMeasuredLabel> tooWide = {{0, 3}, {40, 2}, {30, 1}};
  const TTabGrid pixels = TTabGrid::Fit(tooWide, 3);
  ASSERT_FALSE(pixels.Even());
  EXPECT_EQ(pixels.StopsFor(3), (std::vector<int>{41, 42, 43}));
  EXPECT_EQ(pixels.StopsFor(1), (std::vector<int>{43}));
  EXPECT_EQ(pixels.StopsFor(9), pixels.StopsFor(3)) << "more TABs than any label: the longest list";
  // Export leads narrower than every one-TAB header label keep their column.
  const std::vector<TMeasuredLabel> withNames = {{0, 3}, {40, 2}, {30, 1}, {20, 1, TValueColumn::ExportName}};
  EXPECT_EQ(TTabGrid::Fit(withNames, 3).StopsFor(1), (std::vector<int>{23, 43}));
  const std::vector<TMeasuredLabel> wideNames = {{0, 3}, {40, 2}, {30, 1}, {28, 1, TValueColumn::ExportName}};
  EXPECT_EQ(TTabGrid::Fit(wideNames, 3).StopsFor(1), (std::vector<int>{43})) << "a header label would stop there";
  // Pixels at 96 per inch to twips, and twips to a 600 dpi printer and back.
  EXPECT_EQ(pixels.Scaled(15, 1).StopsFor(2), (std::vector<int>{630, 645}));
  const TTabGrid coarse = pixels.Scaled(1, 40);
  EXPECT_EQ(coarse.StopsFor(3), (std::vector<int>{1, 2, 3})) << "stops that would meet stay apart";
  const TTabGrid even = TTabGrid::Fit(std::vector<TMeasuredLabel>{{0, 3}, {40, 2}, {100, 1}}, 3);
  ASSERT_TRUE(even.Even());
  const TTabGrid twips = even.Scaled(1440, 600);
  EXPECT_EQ(twips.StopsFor(1).front(), (even.Spacing() * 1440 + 300) / 600);
  EXPECT_EQ(twips.StopsFor(1)[9], (10 * even.Spacing() * 1440 + 300) / 600) << "each stop rounded, not summed";
}

TEST(TabGridLines, LeadingTabsAndNextStop) {
  const struct {
    const char* Line;
    int Tabs;
  } rows[] = {{"", 0},
              {"no tab", 0},
              {"Initial SP:\t\t\tB8H", 3},
              {"\t\t\tFile is a DLL", 3},
              {"0001\tName\t\t", 1},
              {"Characteristics:\t\t", 2}};
  for (const auto& row : rows)
    EXPECT_EQ(LeadingTabs(row.Line), row.Tabs) << row.Line;
  const std::vector<int> stops = {10, 20, 30};
  EXPECT_EQ(NextTabStop(stops, 0, 720), 10);
  EXPECT_EQ(NextTabStop(stops, 10, 720), 20) << "a TAB at a stop moves on";
  EXPECT_EQ(NextTabStop(stops, 29, 720), 30);
  EXPECT_EQ(NextTabStop(stops, 30, 720), 720) << "past the list: the default stops";
  EXPECT_EQ(NextTabStop({}, 720, 720), 1440);
}

// ---- the viewer's RTF ----

std::string WithoutTabStops(std::string rtf) {
  for (std::size_t at = rtf.find("\\pard"); at != std::string::npos; at = rtf.find("\\pard")) {
    const std::size_t end = rtf.find(' ', at);
    rtf.erase(at, end - at + 1);
  }
  return rtf;
}

TEST(RtfTabStops, ParagraphsCarryTheGridOutsideTheLineGroups) {
  TMemoryReportView view;
  view.AddStyledLine("title.dll", 12);
  view.AddLine("Characteristics:\t\tFile is a DLL");
  view.AddLine("\t\t\tSystem file");
  view.AddLine("Size of stack to reserve:\t4096 bytes");
  view.AddStyledLine("Ordinal\tFunction", 8);
  view.AddLine("0001\tAlpha");
  view.AddLine("0002\tBeta");
  const std::string plain = ReportToRtf(view, 1252);
  EXPECT_EQ(plain.find("\\pard"), std::string::npos) << "no grid, no paragraph format";

  const TTabGrid even = TTabGrid::Fit(std::vector<TMeasuredLabel>{{0, 3}, {40, 2}, {100, 1}}, 3).Scaled(15, 1);
  const std::string evenRtf = ReportToRtf(view, 1252, &even);
  EXPECT_EQ(WithoutTabStops(evenRtf), plain) << "only paragraph formats added";
  std::string stops = "\\pard";
  for (const int stop : even.StopsFor(1))
    stops += "\\tx" + std::to_string(stop);
  EXPECT_NE(evenRtf.find("}\\f0\\fs16\n" + stops + " "), std::string::npos) << evenRtf;
  EXPECT_EQ(evenRtf.find("\\pard", evenRtf.find("\\pard") + 1), std::string::npos) << "one format for the whole report";

  const TTabGrid byTabs = TTabGrid::Fit(std::vector<TMeasuredLabel>{{0, 3}, {40, 2}, {30, 1}}, 3).Scaled(15, 1);
  const std::string byTabsRtf = ReportToRtf(view, 1252, &byTabs);
  EXPECT_EQ(WithoutTabStops(byTabsRtf), plain);
  EXPECT_NE(byTabsRtf.find("\\pard\\tx630\\tx645 Characteristics:\\tab \\tab File"), std::string::npos) << byTabsRtf;
  EXPECT_NE(byTabsRtf.find("\\pard\\tx615\\tx630\\tx645 \\tab \\tab \\tab System"), std::string::npos);
  EXPECT_NE(byTabsRtf.find("\\par\n\\pard\\tx645 Size of stack"), std::string::npos);
  EXPECT_NE(byTabsRtf.find("\\par\n{\\f0\\fs16\\b Ordinal\\tab Function}\\par\n0001"), std::string::npos)
      << "a line with the TABs of the line before keeps its format";
}

} // namespace
} // namespace korvane
