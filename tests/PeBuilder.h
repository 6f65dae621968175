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

  /// Changes bytes of the finished file (absolute file offsets).
  TPeBuilder& PatchWord(std::size_t offset, std::uint16_t value);
  TPeBuilder& PatchDWord(std::size_t offset, std::uint32_t value);

  TBytes Build() const;

private:
  bool FWide = false;
  std::uint16_t FMagic = 0x10B;
  std::uint16_t FMachine = 0x014C;
  std::uint16_t FCharacteristics = 0x0102;
  std::uint32_t FTimeDateStamp = 0;
  std::uint64_t FImageBase = 0x00400000;
  std::uint16_t FSubsystem = 2;
  std::uint32_t FSizeOfImage = 0;  // 0: derived from the sections
  std::uint32_t FDirectories[16][2] = {};
  std::vector<TSectionSpec> FSections;
  std::vector<std::pair<std::size_t, std::uint64_t>> FWordPatches;
  std::vector<std::pair<std::size_t, std::uint64_t>> FDWordPatches;
};

} // namespace korvane::test
