// Builders of synthetic MS-DOS and PE files for the tests: every field has a
// default, so a test states only what it is about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::test {

using TBytes = std::vector<std::uint8_t>;

void PutWord(TBytes& bytes, std::size_t offset, std::uint16_t value);
void PutDWord(TBytes& bytes, std::size_t offset, std::uint32_t value);
void PutQWord(TBytes& bytes, std::size_t offset, std::uint64_t value);

/// A 64-byte MS-DOS header ("MZ", e_lfarlc 0x1C) followed by nothing.
class TDosBuilder {
public:
  TDosBuilder();
  TDosBuilder& Word(std::size_t offset, std::uint16_t value);
  TDosBuilder& Byte(std::size_t offset, std::uint8_t value);
  TBytes Build() const { return FBytes; }

private:
  TBytes FBytes;
};

/// A section of the image: raw bytes placed in the file and the header
/// fields that describe them.
struct TSectionSpec {
  std::string Name;
  std::uint32_t VirtualAddress = 0;
  std::uint32_t VirtualSize = 0;
  TBytes RawData;
  // When set, these replace the values derived from RawData.
  bool OverrideRaw = false;
  std::uint32_t SizeOfRawData = 0;
  std::uint32_t PointerToRawData = 0;
};

/// One import descriptor: the library, its functions ("#16" imports by
/// ordinal 16) in the lookup table and the address table.
struct TImportDescriptor {
  std::string Library;
  std::vector<std::string> Functions;
  std::uint32_t TimeDateStamp = 0;
  /// False: OriginalFirstThunk is 0 and only the address table exists.
  bool LookupTable = true;
  /// When not empty, the address table holds these instead of Functions, so
  /// a test can tell which of the two arrays was walked.
  std::vector<std::string> AddressTable;
};

/// One base relocation block; SizeOfBlock is derived from the entries unless
/// set.
struct TRelocationBlock {
  std::uint32_t VirtualAddress = 0;
  std::vector<std::uint16_t> Entries;
  std::uint32_t SizeOfBlock = 0;
};

/// Where the builder put the tables it generated (0 when absent).
struct TPeLayout {
  std::uint32_t ExportDirectory = 0;
  std::uint32_t ImportDirectory = 0;
  std::uint32_t Relocations = 0;
  std::uint32_t RelocationsSize = 0;
  /// RVA to file offset for every section with raw data.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> SectionStarts; // {VirtualAddress, PointerToRawData}
  std::size_t FileOffset(std::uint32_t rva) const;
};

/// A minimal valid PE32 (or PE32+) file: DOS header with e_lfarlc 64 and
/// e_lfanew 0x80, the PE headers, a section table, section bytes at 0x200
/// file alignment.
class TPeBuilder {
public:
  static constexpr std::size_t PeOffset = 0x80;
  static constexpr std::size_t OptionalOffset = PeOffset + 24;
  static constexpr std::size_t FileAlignment = 0x200;

  TPeBuilder();

  TPeBuilder& Pe32Plus();
  TPeBuilder& Magic(std::uint16_t magic);
  TPeBuilder& Machine(std::uint16_t machine);
  TPeBuilder& Characteristics(std::uint16_t characteristics);
  TPeBuilder& TimeDateStamp(std::uint32_t seconds);
  TPeBuilder& ImageBase(std::uint64_t imageBase);
  TPeBuilder& Subsystem(std::uint16_t subsystem);
  TPeBuilder& SizeOfImage(std::uint32_t size);
  TPeBuilder& DataDirectory(int index, std::uint32_t rva, std::uint32_t size);
  TPeBuilder& Section(TSectionSpec section);

  /// An export directory in a section of its own after the others: names in
  /// table order with their ordinal-table entries.
  TPeBuilder& Export(std::string name, std::uint16_t ordinal);
  TPeBuilder& ExportBase(std::uint32_t base);
  /// Import descriptors, in a section of their own, in the order added.
  TPeBuilder& Import(std::string library, std::vector<std::string> functions);
  TPeBuilder& Import(TImportDescriptor descriptor);
  /// Base relocation blocks in a section of their own.
  TPeBuilder& Relocations(std::vector<TRelocationBlock> blocks);

  /// File offset of data directory entry index (its RVA; the size follows).
  static constexpr std::size_t DataDirectoryOffset(int index) {
    return OptionalOffset + 96 + 8 * static_cast<std::size_t>(index);
  }

  /// Changes bytes of the finished file (absolute file offsets).
  TPeBuilder& PatchWord(std::size_t offset, std::uint16_t value);
  TPeBuilder& PatchDWord(std::size_t offset, std::uint32_t value);

  TBytes Build(TPeLayout* layout = nullptr) const;

private:
  bool FWide = false;
  std::uint16_t FMagic = 0x10B;
  std::uint16_t FMachine = 0x014C;
  std::uint16_t FCharacteristics = 0x0102;
  std::uint32_t FTimeDateStamp = 0;
  std::uint64_t FImageBase = 0x00400000;
  std::uint16_t FSubsystem = 2;
  std::uint32_t FSizeOfImage = 0; // 0: derived from the sections
  std::uint32_t FDirectories[16][2] = {};
  std::vector<TSectionSpec> FSections;
  std::vector<std::pair<std::string, std::uint16_t>> FExports;
  std::uint32_t FExportBase = 1;
  std::vector<TImportDescriptor> FImports;
  std::vector<TRelocationBlock> FRelocations;
  bool FHasRelocations = false;
  std::vector<std::pair<std::size_t, std::uint64_t>> FWordPatches;
  std::vector<std::pair<std::size_t, std::uint64_t>> FDWordPatches;
};

} // namespace korvane::test
