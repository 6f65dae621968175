// Summary of an MS-DOS program's header.
#include "DosHeader.h"

#include <string_view>

#include "ValueNames.h"
#include "PeFormat.h"
#include "SummaryRows.h"

namespace korvane {

namespace {

using pe::DosHeader;

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

void ReportDosHeader(TReportView& view, const TByteView& file, TReportValues& values) {
  TSummaryRows rows(view, values, value_name::DosHeader);
  const auto read = [&file](auto field) { return Named(field, file.Read(0, field, DosHeader::Record)); };
  constexpr std::string_view Paragraphs = " paragraphs";
  rows.Decimal(TotalPages, read(DosHeader::e_cp));
  rows.Decimal(LastPageSize, read(DosHeader::e_cblp), " bytes");
  rows.Decimal(RelocationEntries, read(DosHeader::e_crlc));
  rows.Decimal(HeaderSize, read(DosHeader::e_cparhdr), Paragraphs);
  rows.Decimal(MinMemory, read(DosHeader::e_minalloc), Paragraphs);
  rows.Decimal(MaxMemory, read(DosHeader::e_maxalloc), Paragraphs);
  rows.Hex(InitialSs, read(DosHeader::e_ss));
  rows.Hex(InitialSp, read(DosHeader::e_sp));
  const std::uint32_t csIp = file.Read(0, DosHeader::e_ip_e_cs, DosHeader::Record);
  rows.Hex(CsIp, csIp, {{value_name::DosIp, csIp & 0xFFFFu}, {value_name::DosCs, csIp >> 16}});
  rows.Hex(RelocationTable, read(DosHeader::e_lfarlc));
  rows.Decimal(OverlayNumber, read(DosHeader::e_ovno));
  rows.Decimal(OemId, read(DosHeader::e_oemid));
  rows.Decimal(Checksum, read(DosHeader::e_csum));

  const std::uint16_t mark = file.Read(0, DosHeader::e_res_LinkerMark, DosHeader::Record);
  const std::uint8_t markByte = file.Read(0, DosHeader::e_res_LinkerMarkByte, DosHeader::Record);
  if (mark == 1 && markByte == 0xFB) {
    const std::uint8_t version = file.Read(0, DosHeader::e_res_LinkerVersion, DosHeader::Record);
    // Named as the PE optional header names its linker version.
    rows.Version(LinkerVersion, {pe::OptionalHeader::MajorLinkerVersion.Name, std::uint64_t{version} >> 4},
                 {pe::OptionalHeader::MinorLinkerVersion.Name, version & 0x0Fu});
  }
}

} // namespace korvane
