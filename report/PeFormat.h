// The records of the MS-DOS and PE/COFF formats that the report reads, each
// field at its offset in its record, in the format's own names. Every field
// is little-endian.
#pragma once

#include <cstdint>

namespace korvane::pe {

/// IMAGE_DOS_HEADER, at the start of the file.
struct DosHeader {
  static constexpr std::uint64_t e_cblp = 0x02;
  static constexpr std::uint64_t e_cp = 0x04;
  static constexpr std::uint64_t e_crlc = 0x06;
  static constexpr std::uint64_t e_cparhdr = 0x08;
  static constexpr std::uint64_t e_minalloc = 0x0A;
  static constexpr std::uint64_t e_maxalloc = 0x0C;
  static constexpr std::uint64_t e_ss = 0x0E;
  static constexpr std::uint64_t e_sp = 0x10;
  static constexpr std::uint64_t e_csum = 0x12;
  static constexpr std::uint64_t e_ip = 0x14;  // e_cs follows: the two read as one double word
  static constexpr std::uint64_t e_lfarlc = 0x18;
  static constexpr std::uint64_t e_ovno = 0x1A;
  static constexpr std::uint64_t e_res = 0x1C;
  static constexpr std::uint64_t e_oemid = 0x24;
  static constexpr std::uint64_t e_lfanew = 0x3C;
  static constexpr std::uint64_t Size = 64;
};

/// The PE headers at e_lfanew: the signature "PE\0\0", IMAGE_FILE_HEADER and
/// the optional header.
struct PeHeaders {
  static constexpr std::uint64_t Signature = 0;
  static constexpr std::uint64_t FileHeader = 4;
  static constexpr std::uint64_t OptionalHeader = 24;
};

/// IMAGE_FILE_HEADER.
struct FileHeader {
  static constexpr std::uint64_t Machine = 0;
  static constexpr std::uint64_t NumberOfSections = 2;
  static constexpr std::uint64_t TimeDateStamp = 4;
  static constexpr std::uint64_t SizeOfOptionalHeader = 16;
  static constexpr std::uint64_t Characteristics = 18;
};

/// IMAGE_OPTIONAL_HEADER32 and IMAGE_OPTIONAL_HEADER64: the same offsets up
/// to SizeOfStackReserve, but for ImageBase; from there on the sizes are 64
/// bits wide in PE32+, which moves the data directories.
struct OptionalHeader {
  static constexpr std::uint16_t Pe32Magic = 0x10B;
  static constexpr std::uint16_t Pe32PlusMagic = 0x20B;

  static constexpr std::uint64_t Magic = 0;
  static constexpr std::uint64_t MajorLinkerVersion = 2;
  static constexpr std::uint64_t MinorLinkerVersion = 3;
  static constexpr std::uint64_t SizeOfCode = 4;
  static constexpr std::uint64_t SizeOfInitializedData = 8;
  static constexpr std::uint64_t SizeOfUninitializedData = 12;
  static constexpr std::uint64_t ImageBase32 = 28;
  static constexpr std::uint64_t ImageBase64 = 24;
  static constexpr std::uint64_t MajorOperatingSystemVersion = 40;
  static constexpr std::uint64_t MinorOperatingSystemVersion = 42;
  static constexpr std::uint64_t MajorImageVersion = 44;
  static constexpr std::uint64_t MinorImageVersion = 46;
  static constexpr std::uint64_t MajorSubsystemVersion = 48;
  static constexpr std::uint64_t MinorSubsystemVersion = 50;
  static constexpr std::uint64_t SizeOfImage = 56;
  static constexpr std::uint64_t SizeOfHeaders = 60;
  static constexpr std::uint64_t CheckSum = 64;
  static constexpr std::uint64_t Subsystem = 68;
  /// SizeOfStackReserve, SizeOfStackCommit, SizeOfHeapReserve and
  /// SizeOfHeapCommit follow each other from here, 4 or 8 bytes each.
  static constexpr std::uint64_t SizeOfStackReserve = 72;
  static constexpr std::uint64_t DataDirectory32 = 96;
  static constexpr std::uint64_t DataDirectory64 = 112;
};

/// IMAGE_DATA_DIRECTORY: the entries the report reads, by index.
struct DataDirectory {
  static constexpr std::uint64_t Export = 0;
  static constexpr std::uint64_t Import = 1;
  static constexpr std::uint64_t BaseReloc = 5;

  static constexpr std::uint64_t VirtualAddress = 0;
  static constexpr std::uint64_t Size = 4;
  static constexpr std::uint64_t EntrySize = 8;
};

/// IMAGE_SECTION_HEADER.
struct SectionHeader {
  static constexpr std::uint64_t VirtualSize = 8;
  static constexpr std::uint64_t VirtualAddress = 12;
  static constexpr std::uint64_t SizeOfRawData = 16;
  static constexpr std::uint64_t PointerToRawData = 20;
  static constexpr std::uint64_t Size = 40;
};

/// IMAGE_EXPORT_DIRECTORY.
struct ExportDirectory {
  static constexpr std::uint64_t NumberOfNames = 24;
  static constexpr std::uint64_t AddressOfNames = 32;
  static constexpr std::uint64_t AddressOfNameOrdinals = 36;
};

/// IMAGE_IMPORT_DESCRIPTOR.
struct ImportDescriptor {
  static constexpr std::uint64_t OriginalFirstThunk = 0;
  static constexpr std::uint64_t TimeDateStamp = 4;
  static constexpr std::uint64_t Name = 12;
  static constexpr std::uint64_t FirstThunk = 16;
  static constexpr std::uint64_t Size = 20;
};

/// IMAGE_BASE_RELOCATION: a block header, then its 16-bit entries.
struct BaseRelocation {
  static constexpr std::uint64_t VirtualAddress = 0;
  static constexpr std::uint64_t SizeOfBlock = 4;
  static constexpr std::uint64_t Size = 8;
};

/// Offsets from e_lfanew: a field of the file header, of the optional
/// header, and of an entry of a PE32 file's data directory.
constexpr std::uint64_t InFileHeader(std::uint64_t field) { return PeHeaders::FileHeader + field; }
constexpr std::uint64_t InOptionalHeader(std::uint64_t field) { return PeHeaders::OptionalHeader + field; }
constexpr std::uint64_t InPe32DataDirectory(std::uint64_t index, std::uint64_t field) {
  return InOptionalHeader(OptionalHeader::DataDirectory32) + index * DataDirectory::EntrySize + field;
}

} // namespace korvane::pe
