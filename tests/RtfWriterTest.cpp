// The RTF form of the report: styles carried, special characters escaped.
#include <gtest/gtest.h>

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

} // namespace
} // namespace korvane
