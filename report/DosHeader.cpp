// Summary of an MS-DOS program's header.
#include "DosHeader.h"

#include "Numbers.h"
#include "PeFormat.h"

namespace korvane {

namespace {

using pe::DosHeader;

std::string Field(const char* name) { return std::string("the DOS header field ") + name; }

} // namespace

void ReportDosHeader(TReportView& view, const TByteView& file) {
  const auto word = [&file](std::uint64_t offset, const char* name) {
    return file.ReadWord(offset, Field(name));
  };
  view.AddLine("Total 512-byte pages:\t" + Decimal(word(DosHeader::e_cp, "e_cp")));
  view.AddLine("Last page size:\t\t" + Decimal(word(DosHeader::e_cblp, "e_cblp")) + " bytes");
  view.AddLine("Relocation entries:\t\t" + Decimal(word(DosHeader::e_crlc, "e_crlc")));
  view.AddLine("Header size:\t\t" + Decimal(word(DosHeader::e_cparhdr, "e_cparhdr")) + " paragraphs");
  view.AddLine("Min memory allocated:\t" + Decimal(word(DosHeader::e_minalloc, "e_minalloc")) + " paragraphs");
  view.AddLine("Max memory allocated:\t" + Decimal(word(DosHeader::e_maxalloc, "e_maxalloc")) + " paragraphs");
  view.AddLine("Initial SS offset:\t\t" + Hex(word(DosHeader::e_ss, "e_ss")) + "H");
  view.AddLine("Initial SP:\t\t\t" + Hex(word(DosHeader::e_sp, "e_sp")) + "H");
  // e_ip and e_cs read together: e_cs * 65536 + e_ip.
  view.AddLine("CS:IP offset:\t\t" + Hex(file.ReadDWord(DosHeader::e_ip, Field("e_ip and e_cs"))) + "H");
  view.AddLine("Relocation table offset:\t" + Hex(word(DosHeader::e_lfarlc, "e_lfarlc")) + "H");
  view.AddLine("Overlay number:\t\t" + Decimal(word(DosHeader::e_ovno, "e_ovno")));
  view.AddLine("OEM ID:\t\t\t" + Decimal(word(DosHeader::e_oemid, "e_oemid")));
  view.AddLine("Checksum:\t\t" + Decimal(word(DosHeader::e_csum, "e_csum")));

  // Some linkers mark the reserved area with 1, 0xFB and their version byte.
  const std::uint16_t mark = word(DosHeader::e_res, "e_res (linker mark)");
  const std::uint8_t markByte = file.ReadByte(DosHeader::e_res + 2, Field("e_res (linker mark)"));
  if (mark == 1 && markByte == 0xFB) {
    const std::uint8_t version = file.ReadByte(DosHeader::e_res + 3, Field("e_res (linker version)"));
    view.AddLine("Linker version:\t\t" + Decimal(version >> 4) + "." + Decimal(version & 0x0F));
  }
}

} // namespace korvane
