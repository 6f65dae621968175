// Summary of an MS-DOS program's header.
#include "DosHeader.h"

#include "Numbers.h"
#include "PeFormat.h"

namespace korvane {

namespace {

using pe::DosHeader;

constexpr TRecordName DosField{"the DOS header field "};

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

constexpr TColumnLabel Labels[] = {TotalPages,    LastPageSize, RelocationEntries, HeaderSize,   MinMemory,
                                   MaxMemory,     InitialSs,    InitialSp,         CsIp,         RelocationTable,
                                   OverlayNumber, OemId,        Checksum,          LinkerVersion};

} // namespace

std::span<const TColumnLabel> DosHeaderLabels() { return Labels; }

void ReportDosHeader(TReportView& view, const TByteView& file) {
  const auto read = [&file](auto field) { return file.Read(0, field, DosField); };
  view.AddLine(LabelLead(TotalPages) + Decimal(read(DosHeader::e_cp)));
  view.AddLine(LabelLead(LastPageSize) + Decimal(read(DosHeader::e_cblp)) + " bytes");
  view.AddLine(LabelLead(RelocationEntries) + Decimal(read(DosHeader::e_crlc)));
  view.AddLine(LabelLead(HeaderSize) + Decimal(read(DosHeader::e_cparhdr)) + " paragraphs");
  view.AddLine(LabelLead(MinMemory) + Decimal(read(DosHeader::e_minalloc)) + " paragraphs");
  view.AddLine(LabelLead(MaxMemory) + Decimal(read(DosHeader::e_maxalloc)) + " paragraphs");
  view.AddLine(LabelLead(InitialSs) + Hex(read(DosHeader::e_ss)) + "H");
  view.AddLine(LabelLead(InitialSp) + Hex(read(DosHeader::e_sp)) + "H");
  view.AddLine(LabelLead(CsIp) + Hex(read(DosHeader::e_ip_e_cs)) + "H");
  view.AddLine(LabelLead(RelocationTable) + Hex(read(DosHeader::e_lfarlc)) + "H");
  view.AddLine(LabelLead(OverlayNumber) + Decimal(read(DosHeader::e_ovno)));
  view.AddLine(LabelLead(OemId) + Decimal(read(DosHeader::e_oemid)));
  view.AddLine(LabelLead(Checksum) + Decimal(read(DosHeader::e_csum)));

  const std::uint16_t mark = read(DosHeader::e_res_LinkerMark);
  const std::uint8_t markByte = read(DosHeader::e_res_LinkerMarkByte);
  if (mark == 1 && markByte == 0xFB) {
    const std::uint8_t version = read(DosHeader::e_res_LinkerVersion);
    view.AddLine(LabelLead(LinkerVersion) + Decimal(version >> 4) + "." + Decimal(version & 0x0F));
  }
}

} // namespace korvane
