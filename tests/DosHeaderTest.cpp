// The DOS header summary: exact lines, number forms and the linker mark.
#include <gtest/gtest.h>

#include "DosHeader.h"
#include "Errors.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TBytes;
using test::TDosBuilder;

std::vector<std::string> Summary(const TBytes& bytes) {
  TMemoryReportView view;
  ReportDosHeader(view, TByteView(bytes.data(), bytes.size()));
  return test::ReportLines(view);
}

TEST(DosHeaderLines, WholeSummaryInOrderWithChecksumLast) {
  const TBytes file = TDosBuilder()
                          .Word(0x02, 0x90)
                          .Word(0x04, 3)
                          .Word(0x06, 1)
                          .Word(0x08, 4)
                          .Word(0x0A, 0x10)
                          .Word(0x0C, 0xFFFF)
                          .Word(0x0E, 0x1A2B)
                          .Word(0x10, 0xB8)
                          .Word(0x12, 77)
                          .Word(0x14, 0x0100)
                          .Word(0x16, 0xFFF0)
                          .Word(0x18, 0x1E)
                          .Word(0x1A, 2)
                          .Word(0x1C, 1)
                          .Byte(0x1E, 0xFB)
                          .Byte(0x1F, 0x33)
                          .Word(0x24, 9)
                          .Build();
  const std::vector<std::string> expected = {
      "Total 512-byte pages:\t3",
      "Last page size:\t\t144 bytes",
      "Relocation entries:\t\t1",
      "Header size:\t\t4 paragraphs",
      "Min memory allocated:\t16 paragraphs",
      "Max memory allocated:\t65535 paragraphs",
      "Initial SS offset:\t\t1A2BH",
      "Initial SP:\t\t\tB8H",
      "CS:IP offset:\t\tFFF00100H",
      "Relocation table offset:\t1EH",
      "Overlay number:\t\t2",
      "OEM ID:\t\t\t9",
      "Checksum:\t\t77",
      "Linker version:\t\t3.3",
  };
  EXPECT_EQ(Summary(file), expected);
}

TEST(DosHeaderLines, NumberForms) {
  const auto zero = Summary(TDosBuilder().Build());
  EXPECT_EQ(zero[8], "CS:IP offset:\t\t0H");
  EXPECT_EQ(zero[0], "Total 512-byte pages:\t0");
  EXPECT_EQ(Summary(TDosBuilder().Word(0x04, 0xFFFF).Build())[0], "Total 512-byte pages:\t65535");
}

TEST(DosHeaderLines, LinkerMarkNeedsBothMarks) {
  struct TCase {
    const char* Name;
    std::uint16_t Mark;
    std::uint8_t MarkByte;
    std::uint8_t Version;
    const char* Line; // nullptr: no linker line
  };
  const TCase cases[] = {
      {"mark and 0x33", 1, 0xFB, 0x33, "Linker version:\t\t3.3"},
      {"mark and 0x1F", 1, 0xFB, 0x1F, "Linker version:\t\t1.15"},
      {"wrong byte", 1, 0xFA, 0x33, nullptr},
      {"wrong word", 2, 0xFB, 0x33, nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto lines = Summary(TDosBuilder().Word(0x1C, c.Mark).Byte(0x1E, c.MarkByte).Byte(0x1F, c.Version).Build());
    if (c.Line == nullptr) {
      EXPECT_EQ(lines.size(), 13u);
    } else {
      ASSERT_EQ(lines.size(), 14u);
      EXPECT_EQ(lines[13], c.Line);
    }
  }
}

TEST(DosHeaderBounds, ShortHeaderFailsAtFirstMissingFieldAndKeepsEarlierLines) {
  const TBytes full = TDosBuilder().Build();
  const TBytes cut(full.begin(), full.begin() + 30);
  TMemoryReportView view;
  try {
    ReportDosHeader(view, TByteView(cut.data(), cut.size()));
    FAIL() << "a 30-byte header must fail";
  } catch (const TFormatError& error) {
    EXPECT_NE(std::string(error.what()).find("e_oemid"), std::string::npos) << error.what();
  }
  EXPECT_EQ(view.LineCount(), 11); // up to the overlay number
}

} // namespace
} // namespace korvane
