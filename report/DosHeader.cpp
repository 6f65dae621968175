// Summary of an MS-DOS program's header.
#include "DosHeader.h"

#include "Numbers.h"

namespace korvane {

namespace {

std::string Field(const char* name) { return std::string("the DOS header field ") + name; }

} // namespace

void ReportDosHeader(TReportView& view, const TByteView& file) {
  const auto word = [&file](std::uint64_t offset, const char* name) {
    return file.ReadWord(offset, Field(name));
  };
  view.AddLine("Total 512-byte pages:\t" + Decimal(word(0x04, "e_cp")));
  view.AddLine("Last page size:\t\t" + Decimal(word(0x02, "e_cblp")) + " bytes");
  view.AddLine("Relocation entries:\t\t" + Decimal(word(0x06, "e_crlc")));
  view.AddLine("Header size:\t\t" + Decimal(word(0x08, "e_cparhdr")) + " paragraphs");
  view.AddLine("Min memory allocated:\t" + Decimal(word(0x0A, "e_minalloc")) + " paragraphs");
  view.AddLine("Max memory allocated:\t" + Decimal(word(0x0C, "e_maxalloc")) + " paragraphs");
  view.AddLine("Initial SS offset:\t\t" + Hex(word(0x0E, "e_ss")) + "H");
  view.AddLine("Initial SP:\t\t\t" + Hex(word(0x10, "e_sp")) + "H");
  // e_ip and e_cs read together: e_cs * 65536 + e_ip.
  view.AddLine("CS:IP offset:\t\t" + Hex(file.ReadDWord(0x14, Field("e_ip and e_cs"))) + "H");
  view.AddLine("Relocation table offset:\t" + Hex(word(0x18, "e_lfarlc")) + "H");
  view.AddLine("Overlay number:\t\t" + Decimal(word(0x1A, "e_ovno")));
  view.AddLine("OEM ID:\t\t\t" + Decimal(word(0x24, "e_oemid")));
  view.AddLine("Checksum:\t\t" + Decimal(word(0x12, "e_csum")));

  // Some linkers mark the reserved area with 1, 0xFB and their version byte.
  const std::uint16_t mark = word(0x1C, "e_res (linker mark)");
  const std::uint8_t markByte = file.ReadByte(0x1E, Field("e_res (linker mark)"));
  if (mark == 1 && markByte == 0xFB) {
    const std::uint8_t version = file.ReadByte(0x1F, Field("e_res (linker version)"));
    view.AddLine("Linker version:\t\t" + Decimal(version >> 4) + "." + Decimal(version & 0x0F));
  }
}

} // namespace korvane
