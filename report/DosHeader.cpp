// Summary of an MS-DOS program's header.
#include "DosHeader.h"

#include "Numbers.h"
#include "PeFormat.h"

namespace korvane {

namespace {

using pe::DosHeader;

std::string Field(const char* name) { return std::string("the DOS header field ") + name; }

// The TAB counts line the values up in the report's fixed tab grid.
constexpr TColumnLabel TotalPages{"Total 512-byte pages:", 1};
constexpr TColumnLabel LastPageSize{"Last page size:", 2};
constexpr TColumnLabel RelocationEntries{"Relocation entries:", 2};
constexpr TColumnLabel HeaderSize{"Header size:", 2};
constexpr TColumnLabel MinMemory{"Min memory allocated:", 1};
constexpr TColumnLabel MaxMemory{"Max memory allocated:", 1};
constexpr TColumnLabel InitialSs{"Initial SS offset:", 2};
constexpr TColumnLabel InitialSp{"Initial SP:", 3};
constexpr TColumnLabel CsIp{"CS:IP offset:", 2};
constexpr TColumnLabel RelocationTable{"Relocation table offset:", 1};
constexpr TColumnLabel OverlayNumber{"Overlay number:", 2};
constexpr TColumnLabel OemId{"OEM ID:", 3};
constexpr TColumnLabel Checksum{"Checksum:", 2};
constexpr TColumnLabel LinkerVersion{"Linker version:", 2};

constexpr TColumnLabel Labels[] = {TotalPages, LastPageSize,  RelocationEntries, HeaderSize, MinMemory,
                                   MaxMemory,  InitialSs,     InitialSp,         CsIp,       RelocationTable,
                                   OverlayNumber, OemId,      Checksum,          LinkerVersion};

} // namespace

std::span<const TColumnLabel> DosHeaderLabels() { return Labels; }

void ReportDosHeader(TReportView& view, const TByteView& file) {
  const auto word = [&file](std::uint64_t offset, const char* name) {
    return file.ReadWord(offset, Field(name));
  };
  view.AddLine(LabelLead(TotalPages) + Decimal(word(DosHeader::e_cp, "e_cp")));
  view.AddLine(LabelLead(LastPageSize) + Decimal(word(DosHeader::e_cblp, "e_cblp")) + " bytes");
  view.AddLine(LabelLead(RelocationEntries) + Decimal(word(DosHeader::e_crlc, "e_crlc")));
  view.AddLine(LabelLead(HeaderSize) + Decimal(word(DosHeader::e_cparhdr, "e_cparhdr")) + " paragraphs");
  view.AddLine(LabelLead(MinMemory) + Decimal(word(DosHeader::e_minalloc, "e_minalloc")) + " paragraphs");
  view.AddLine(LabelLead(MaxMemory) + Decimal(word(DosHeader::e_maxalloc, "e_maxalloc")) + " paragraphs");
  view.AddLine(LabelLead(InitialSs) + Hex(word(DosHeader::e_ss, "e_ss")) + "H");
  view.AddLine(LabelLead(InitialSp) + Hex(word(DosHeader::e_sp, "e_sp")) + "H");
  // e_ip and e_cs read together: e_cs * 65536 + e_ip.
  view.AddLine(LabelLead(CsIp) + Hex(file.ReadDWord(DosHeader::e_ip, Field("e_ip and e_cs"))) + "H");
  view.AddLine(LabelLead(RelocationTable) + Hex(word(DosHeader::e_lfarlc, "e_lfarlc")) + "H");
  view.AddLine(LabelLead(OverlayNumber) + Decimal(word(DosHeader::e_ovno, "e_ovno")));
  view.AddLine(LabelLead(OemId) + Decimal(word(DosHeader::e_oemid, "e_oemid")));
  view.AddLine(LabelLead(Checksum) + Decimal(word(DosHeader::e_csum, "e_csum")));

  // Some linkers mark the reserved area with 1, 0xFB and their version byte.
  const std::uint16_t mark = word(DosHeader::e_res, "e_res (linker mark)");
  const std::uint8_t markByte = file.ReadByte(DosHeader::e_res + 2, Field("e_res (linker mark)"));
  if (mark == 1 && markByte == 0xFB) {
    const std::uint8_t version = file.ReadByte(DosHeader::e_res + 3, Field("e_res (linker version)"));
    view.AddLine(LabelLead(LinkerVersion) + Decimal(version >> 4) + "." + Decimal(version & 0x0F));
  }
}

} // namespace korvane
