// The records of the MS-DOS and PE/COFF formats that the report reads, each
// field at its offset in its record, in the format's own names. Every field
// is little-endian, named with its width.
#pragma once

#include <cstdint>

#include "Field.h"

namespace korvane::pe {

/// IMAGE_DOS_HEADER, at the start of the file.
struct DosHeader {
  static constexpr TField<std::uint16_t> e_cblp{0x02, "e_cblp"};
  static constexpr TField<std::uint16_t> e_cp{0x04, "e_cp"};
  static constexpr TField<std::uint16_t> e_crlc{0x06, "e_crlc"};
  static constexpr TField<std::uint16_t> e_cparhdr{0x08, "e_cparhdr"};
  static constexpr TField<std::uint16_t> e_minalloc{0x0A, "e_minalloc"};
  static constexpr TField<std::uint16_t> e_maxalloc{0x0C, "e_maxalloc"};
  static constexpr TField<std::uint16_t> e_ss{0x0E, "e_ss"};
  static constexpr TField<std::uint16_t> e_sp{0x10, "e_sp"};
  static constexpr TField<std::uint16_t> e_csum{0x12, "e_csum"};
  // e_cs follows e_ip: the two read as one double word, e_cs * 65536 + e_ip.
  static constexpr TField<std::uint32_t> e_ip_e_cs{0x14, "e_ip and e_cs"};
  static constexpr TField<std::uint16_t> e_lfarlc{0x18, "e_lfarlc"};
  static constexpr TField<std::uint16_t> e_ovno{0x1A, "e_ovno"};
  // Some linkers mark the reserved area e_res with the word 1, the byte 0xFB
  // and their version byte.
  static constexpr TField<std::uint16_t> e_res_LinkerMark{0x1C, "e_res (linker mark)"};
  static constexpr TField<std::uint8_t> e_res_LinkerMarkByte{0x1E, "e_res (linker mark)"};
  static constexpr TField<std::uint8_t> e_res_LinkerVersion{0x1F, "e_res (linker version)"};
  static constexpr TField<std::uint16_t> e_oemid{0x24, "e_oemid"};
  static constexpr TField<std::uint32_t> e_lfanew{0x3C, "e_lfanew"};
  static constexpr std::uint64_t Size = 64;
  static constexpr TRecordName Record{"the DOS header field "};
};

/// The PE headers at e_lfanew: the signature "PE\0\0", IMAGE_FILE_HEADER and
/// the optional header.
struct PeHeaders {
  static constexpr std::uint64_t Signature = 0;
  static constexpr std::uint64_t FileHeader = 4;
  static constexpr std::uint64_t OptionalHeader = 24;
  /// The file and optional headers' fields as the header summary reads
  /// them, and the optional header's Magic as the file's kind is told.
  static constexpr TRecordName Record{"the PE header field "};
  static constexpr TRecordName KindRecord{"the PE headers (optional header ", ")"};
};

/// IMAGE_FILE_HEADER.
struct FileHeader {
  static constexpr TField<std::uint16_t> Machine{0, "Machine"};
  static constexpr TField<std::uint16_t> NumberOfSections{2, "NumberOfSections"};
  static constexpr TField<std::uint32_t> TimeDateStamp{4, "TimeDateStamp"};
  static constexpr TField<std::uint16_t> SizeOfOptionalHeader{16, "SizeOfOptionalHeader"};
  static constexpr TField<std::uint16_t> Characteristics{18, "Characteristics"};
  /// As the image is laid out.
  static constexpr TRecordName Record{"the file header field "};
};

/// IMAGE_OPTIONAL_HEADER32 and IMAGE_OPTIONAL_HEADER64: the same fields up
/// to SizeOfStackReserve, but for ImageBase; from there on the sizes are 64
/// bits wide in PE32+, which moves the data directories.
struct OptionalHeader {
  static constexpr std::uint16_t Pe32Magic = 0x10B;
  static constexpr std::uint16_t Pe32PlusMagic = 0x20B;
  /// As the image is laid out.
  static constexpr TRecordName Record{"the optional header field "};

  static constexpr TField<std::uint16_t> Magic{0, "Magic"};
  static constexpr TField<std::uint8_t> MajorLinkerVersion{2, "MajorLinkerVersion"};
  static constexpr TField<std::uint8_t> MinorLinkerVersion{3, "MinorLinkerVersion"};
  static constexpr TField<std::uint32_t> SizeOfCode{4, "SizeOfCode"};
  static constexpr TField<std::uint32_t> SizeOfInitializedData{8, "SizeOfInitializedData"};
  static constexpr TField<std::uint32_t> SizeOfUninitializedData{12, "SizeOfUninitializedData"};
  static constexpr TField<std::uint32_t> ImageBase32{28, "ImageBase"};
  static constexpr TField<std::uint64_t> ImageBase64{24, "ImageBase"};
  static constexpr TField<std::uint16_t> MajorOperatingSystemVersion{40, "MajorOperatingSystemVersion"};
  static constexpr TField<std::uint16_t> MinorOperatingSystemVersion{42, "MinorOperatingSystemVersion"};
  static constexpr TField<std::uint16_t> MajorImageVersion{44, "MajorImageVersion"};
  static constexpr TField<std::uint16_t> MinorImageVersion{46, "MinorImageVersion"};
  static constexpr TField<std::uint16_t> MajorSubsystemVersion{48, "MajorSubsystemVersion"};
  static constexpr TField<std::uint16_t> MinorSubsystemVersion{50, "MinorSubsystemVersion"};
  static constexpr TField<std::uint32_t> SizeOfImage{56, "SizeOfImage"};
  static constexpr TField<std::uint32_t> SizeOfHeaders{60, "SizeOfHeaders"};
  static constexpr TField<std::uint32_t> CheckSum{64, "CheckSum"};
  static constexpr TField<std::uint16_t> Subsystem{68, "Subsystem"};
  static constexpr TField<std::uint32_t> SizeOfStackReserve32{72, "SizeOfStackReserve"};
  static constexpr TField<std::uint32_t> SizeOfStackCommit32{76, "SizeOfStackCommit"};
  static constexpr TField<std::uint32_t> SizeOfHeapReserve32{80, "SizeOfHeapReserve"};
  static constexpr TField<std::uint32_t> SizeOfHeapCommit32{84, "SizeOfHeapCommit"};
  static constexpr TField<std::uint64_t> SizeOfStackReserve64{72, "SizeOfStackReserve"};
  static constexpr TField<std::uint64_t> SizeOfStackCommit64{80, "SizeOfStackCommit"};
  static constexpr TField<std::uint64_t> SizeOfHeapReserve64{88, "SizeOfHeapReserve"};
  static constexpr TField<std::uint64_t> SizeOfHeapCommit64{96, "SizeOfHeapCommit"};
  static constexpr std::uint64_t DataDirectory32 = 96;
  static constexpr std::uint64_t DataDirectory64 = 112;
};

/// IMAGE_DATA_DIRECTORY: the entries the report reads, by index.
struct DataDirectory {
  static constexpr std::uint64_t Export = 0;
  static constexpr std::uint64_t Import = 1;
  static constexpr std::uint64_t BaseReloc = 5;

  static constexpr TField<std::uint32_t> VirtualAddress{0, "VirtualAddress"};
  static constexpr TField<std::uint32_t> Size{4, "Size"};
  static constexpr std::uint64_t EntrySize = 8;
};

/// IMAGE_SECTION_HEADER.
struct SectionHeader {
  static constexpr TField<std::uint32_t> VirtualSize{8, "VirtualSize"};
  static constexpr TField<std::uint32_t> VirtualAddress{12, "VirtualAddress"};
  static constexpr TField<std::uint32_t> SizeOfRawData{16, "SizeOfRawData"};
  static constexpr TField<std::uint32_t> PointerToRawData{20, "PointerToRawData"};
  static constexpr std::uint64_t Size = 40;
};

/// IMAGE_EXPORT_DIRECTORY.
struct ExportDirectory {
  static constexpr TField<std::uint32_t> Base{16, "Base"};
  static constexpr TField<std::uint32_t> NumberOfNames{24, "NumberOfNames"};
  static constexpr TField<std::uint32_t> AddressOfNames{32, "AddressOfNames"};
  static constexpr TField<std::uint32_t> AddressOfNameOrdinals{36, "AddressOfNameOrdinals"};
  static constexpr TRecordName Record{"the export directory (", ")"};
};

/// IMAGE_IMPORT_DESCRIPTOR.
struct ImportDescriptor {
  static constexpr TField<std::uint32_t> OriginalFirstThunk{0, "OriginalFirstThunk"};
  static constexpr TField<std::uint32_t> TimeDateStamp{4, "TimeDateStamp"};
  static constexpr TField<std::uint32_t> Name{12, "Name"};
  static constexpr TField<std::uint32_t> FirstThunk{16, "FirstThunk"};
  static constexpr std::uint64_t Size = 20;
  static constexpr TRecordName Record{"an import descriptor (", ")"};
};

/// IMAGE_BASE_RELOCATION: a block header, then its 16-bit entries. An entry
/// holds its type in bits 15 to 12 (0: none, nothing to add) and the offset
/// of its target from VirtualAddress in bits 11 to 0.
struct BaseRelocation {
  static constexpr TField<std::uint32_t> VirtualAddress{0, "VirtualAddress"};
  static constexpr TField<std::uint32_t> SizeOfBlock{4, "SizeOfBlock"};
  static constexpr std::uint64_t Size = 8;
  static constexpr TRecordName Record{"a base relocation block (", ")"};

  static constexpr std::uint64_t EntrySize = 2;
  /// A block smaller than its header and one entry ends the table.
  static constexpr std::uint32_t MinimumBlockSize = Size + EntrySize;
  static constexpr unsigned TypeShift = 12;
  static constexpr std::uint16_t OffsetMask = 0x0FFF;
  /// IMAGE_REL_BASED_DIR64: a PE32+ file's 64-bit target.
  static constexpr std::uint16_t Dir64Type = 10;
};

/// The offset from e_lfanew of an entry of a PE32 file's data directory.
constexpr std::uint64_t InPe32DataDirectory(std::uint64_t index) {
  return PeHeaders::OptionalHeader + OptionalHeader::DataDirectory32 + index * DataDirectory::EntrySize;
}
/// The same for a PE32+ file, whose optional header is longer.
constexpr std::uint64_t InPe32PlusDataDirectory(std::uint64_t index) {
  return PeHeaders::OptionalHeader + OptionalHeader::DataDirectory64 + index * DataDirectory::EntrySize;
}

} // namespace korvane::pe
