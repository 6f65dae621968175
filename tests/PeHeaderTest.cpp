// The PE header summary: exact lines for PE32 and PE32+, the tables of
// characteristics, processors and subsystems, the time stamp text.
#include <gtest/gtest.h>

#include "PeHeader.h"
#include "TestSupport.h"

namespace korvane {
namespace {

using test::TBytes;
using test::TPeBuilder;

std::vector<std::string> Summary(const TBytes& file) {
  TMemoryReportView view;
  ReportPeHeader(view, TByteView(file.data(), file.size()), TPeBuilder::PeOffset, test::IsoFormatter());
  return test::ReportLines(view);
}

std::string LineStarting(const std::vector<std::string>& lines, const std::string& label) {
  for (const std::string& line : lines)
    if (line.rfind(label, 0) == 0)
      return line;
  return "<no line " + label + ">";
}

TEST(PeHeaderLines, WholePe32Summary) {
  const TBytes file = TPeBuilder().Characteristics(0x2102).TimeDateStamp(3600).Build();
  const std::vector<std::string> expected = {
      "Characteristics:\t\tThe file is executable (there are no unresolved external references)",
      "\t\t\tFile is a DLL",
      "Required CPU:\t\tIntel 386",
      "Linker version:\t\t2.50",
      "Time stamp:\t\t1970-01-01 01:00:00",
      "Image base:\t\t400000H",
      "Image size:\t\t4096 bytes",
      "Required OS version:\t4.0",
      "Image version:\t\t0.0",
      "Subsystem version:\t\t4.0",
      "Subsystem:\t\tWindows GUI",
      "Checksum:\t\t0",
      "Code size:\t\t0 bytes",
      "Size of initialized data:\t0 bytes",
      "Size of uninitialized data:\t0 bytes",
      "Size of stack to reserve:\t1048576 bytes",
      "Size of stack to commit:\t4096 bytes",
      "Size of local heap to reserve:\t1048576 bytes",
      "Size of local heap to commit:\t4096 bytes",
  };
  EXPECT_EQ(Summary(file), expected);
}

TEST(PeHeaderLines, Pe32PlusReadsSixtyFourBitFields) {
  const std::size_t o = TPeBuilder::OptionalOffset;
  const TBytes file = TPeBuilder()
                          .Pe32Plus()
                          .ImageBase(0x123456789ABCDEF0ULL)
                          .PatchDWord(o + 72, 0x00000001)
                          .PatchDWord(o + 76, 0x00000002) // 8589934593
                          .PatchDWord(o + 80, 5)
                          .PatchDWord(o + 84, 0)
                          .PatchDWord(o + 88, 0xFFFFFFFF)
                          .PatchDWord(o + 92, 0xFFFFFFFF)
                          .PatchDWord(o + 96, 0)
                          .PatchDWord(o + 100, 1)
                          .Build();
  const auto lines = Summary(file);
  EXPECT_EQ(LineStarting(lines, "Required CPU"), "Required CPU:\t\tAMD64 (K8)");
  EXPECT_EQ(LineStarting(lines, "Image base"), "Image base:\t\t123456789ABCDEF0H");
  EXPECT_EQ(LineStarting(lines, "Size of stack to reserve"), "Size of stack to reserve:\t8589934593 bytes");
  EXPECT_EQ(LineStarting(lines, "Size of stack to commit"), "Size of stack to commit:\t5 bytes");
  EXPECT_EQ(LineStarting(lines, "Size of local heap to reserve"),
            "Size of local heap to reserve:\t18446744073709551615 bytes");
  EXPECT_EQ(LineStarting(lines, "Size of local heap to commit"), "Size of local heap to commit:\t4294967296 bytes");
}

TEST(PeHeaderTables, Characteristics) {
  struct TCase {
    std::uint16_t Bits;
    std::vector<std::string> Lines;
  };
  const TCase cases[] = {
      {0x0000, {"Characteristics:\t\t"}},
      {0x0102, {"Characteristics:\t\tThe file is executable (there are no unresolved external references)"}},
      {0x8DD0, {"Characteristics:\t\t"}}, // bits without a text
      {0x722D,
       {"Characteristics:\t\tRelocation information is stripped from file", "\t\t\tLine numbers are stripped from file",
        "\t\t\tLocal symbols are stripped from file", "\t\t\tThe application can handle addresses larger than 2 GB",
        "\t\t\tDebugging information is stored separately in a .DBG file", "\t\t\tSystem file", "\t\t\tFile is a DLL",
        "\t\t\tFile should be run only on a uniprocessor computer"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Bits);
    const auto lines = Summary(TPeBuilder().Characteristics(c.Bits).Build());
    ASSERT_GT(lines.size(), c.Lines.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(c.Lines.size())), c.Lines);
    EXPECT_EQ(lines[c.Lines.size()].rfind("Required CPU:", 0), 0u);
  }
}

TEST(PeHeaderTables, ProcessorsAndSubsystems) {
  // Machine values as the format and its older tools define them, and the
  // report's text for each; the codes around them (and those of processors
  // the report does not name: ARM, ARM Thumb-2, ARM64, R10000, none) get no
  // text.
  const struct {
    const char* Name;
    std::uint16_t Machine;
    const char* Text;
  } processors[] = {
      {"IMAGE_FILE_MACHINE_I386", 0x014C, "Intel 386"},
      {"i486", 0x014D, "Intel 486"},
      {"Pentium", 0x014E, "Intel 586"},
      {"IMAGE_FILE_MACHINE_R3000", 0x0162, "MIPS Mark I (R2000, R3000)"},
      {"R6000", 0x0163, "MIPS Mark II (R6000)"},
      {"IMAGE_FILE_MACHINE_R4000", 0x0166, "MIPS Mark III (R4000)"},
      {"IMAGE_FILE_MACHINE_ALPHA", 0x0184, "DEC Alpha"},
      {"IMAGE_FILE_MACHINE_POWERPC", 0x01F0, "IBM PowerPC"},
      {"IMAGE_FILE_MACHINE_IA64", 0x0200, "Intel 64"},
      {"IMAGE_FILE_MACHINE_AMD64", 0x8664, "AMD64 (K8)"},
      {"IMAGE_FILE_MACHINE_ARM", 0x01C0, ""},
      {"IMAGE_FILE_MACHINE_ARMNT", 0x01C4, ""},
      {"IMAGE_FILE_MACHINE_ARM64", 0xAA64, ""},
      {"IMAGE_FILE_MACHINE_R10000", 0x0168, ""},
      {"IMAGE_FILE_MACHINE_UNKNOWN", 0, ""},
      {"below I386", 0x014B, ""},
      {"above Pentium", 0x014F, ""},
      {"AMD64 byte-swapped", 0x6486, ""},
      {"all bits", 0xFFFF, ""},
  };
  for (const auto& [name, machine, text] : processors) {
    SCOPED_TRACE(name);
    EXPECT_EQ(LineStarting(Summary(TPeBuilder().Machine(machine).Build()), "Required CPU"),
              std::string("Required CPU:\t\t") + text);
  }
  const std::pair<std::uint16_t, const char*> subsystems[] = {
      {0, "Unknown"}, {1, "Native"},         {2, "Windows GUI"}, {3, "Windows character"},
      {4, "Unknown"}, {5, "OS/2 character"}, {6, "Unknown"},     {7, "Posix character"},
      {8, "Unknown"}, {9, "Windows CE"},     {10, "Unknown"},    {0xFFFF, "Unknown"},
  };
  for (const auto& [subsystem, text] : subsystems) {
    SCOPED_TRACE(subsystem);
    EXPECT_EQ(LineStarting(Summary(TPeBuilder().Subsystem(subsystem).Build()), "Subsystem:"),
              std::string("Subsystem:\t\t") + text);
  }
}

TEST(PeHeaderLines, VersionsAreNotPaddedAndLargeValuesAreUnsigned) {
  const std::size_t o = TPeBuilder::OptionalOffset;
  const TBytes file = TPeBuilder()
                          .PatchWord(o + 2, 14 | (16 << 8))
                          .PatchDWord(o + 64, 0x80000000)
                          .PatchDWord(o + 4, 0xFFFFFFFF)
                          .Build();
  const auto lines = Summary(file);
  EXPECT_EQ(LineStarting(lines, "Linker version"), "Linker version:\t\t14.16");
  EXPECT_EQ(LineStarting(lines, "Checksum"), "Checksum:\t\t2147483648");
  EXPECT_EQ(LineStarting(lines, "Code size"), "Code size:\t\t4294967295 bytes");
}

TEST(PeHeaderTimeStamp, CalendarAndComposition) {
  struct TCase {
    std::uint32_t Seconds;
    const char* Text;
  };
  const TCase cases[] = {
      {0, "1970-01-01"},
      {3600, "1970-01-01 01:00:00"},
      {86399, "1970-01-01 23:59:59"},
      {86400, "1970-01-02"},
      {951782400, "2000-02-29"},
      {0x7FFFFFFF, "2038-01-19 03:14:07"},
      {0x80000000, "2038-01-19 03:14:08"},
      {0xFFFFFFFF, "2106-02-07 06:28:15"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Seconds);
    EXPECT_EQ(TimeStampText(c.Seconds, test::IsoFormatter()), c.Text);
  }
}

TEST(PeHeaderBounds, ShortHeadersFailNamingTheField) {
  TBytes file = TPeBuilder().Build();
  // Ends before Subsystem (optional header offset 68), the first field that
  // the summary reads past the cut; CheckSum at 64 is read after it.
  file.resize(TPeBuilder::OptionalOffset + 60);
  TMemoryReportView view;
  try {
    ReportPeHeader(view, TByteView(file.data(), file.size()), TPeBuilder::PeOffset, test::IsoFormatter());
    FAIL() << "headers cut short must fail";
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(),
                 "The file ends before the PE header field Subsystem (2 bytes at offset 220; the file has 212 bytes)");
  }
  // Every line up to the one whose field is missing.
  ASSERT_EQ(view.LineCount(), 9);
  EXPECT_EQ(view.LineText(8).rfind("Subsystem version:", 0), 0u) << view.LineText(8);
}

} // namespace
} // namespace korvane
