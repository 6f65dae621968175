// Builders of synthetic MS-DOS and PE files for the tests.
#include "PeBuilder.h"

#include <algorithm>

namespace korvane::test {

void PutWord(TBytes& bytes, std::size_t offset, std::uint16_t value) {
  if (bytes.size() < offset + 2)
    bytes.resize(offset + 2);
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutDWord(TBytes& bytes, std::size_t offset, std::uint32_t value) {
  PutWord(bytes, offset, static_cast<std::uint16_t>(value));
  PutWord(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void PutQWord(TBytes& bytes, std::size_t offset, std::uint64_t value) {
  PutDWord(bytes, offset, static_cast<std::uint32_t>(value));
  PutDWord(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

TDosBuilder::TDosBuilder() : FBytes(64) {
  FBytes[0] = 'M';
  FBytes[1] = 'Z';
  PutWord(FBytes, 0x18, 0x1C);
}

TDosBuilder& TDosBuilder::Word(std::size_t offset, std::uint16_t value) {
  PutWord(FBytes, offset, value);
  return *this;
}

TDosBuilder& TDosBuilder::Byte(std::size_t offset, std::uint8_t value) {
  if (FBytes.size() <= offset)
    FBytes.resize(offset + 1);
  FBytes[offset] = value;
  return *this;
}

TPeBuilder::TPeBuilder() = default;

TPeBuilder& TPeBuilder::Pe32Plus() {
  FWide = true;
  FMagic = 0x20B;
  FMachine = 0x8664;
  FImageBase = 0x140000000ULL;
  return *this;
}

TPeBuilder& TPeBuilder::Magic(std::uint16_t magic) {
  FMagic = magic;
  return *this;
}
TPeBuilder& TPeBuilder::Machine(std::uint16_t machine) {
  FMachine = machine;
  return *this;
}
TPeBuilder& TPeBuilder::Characteristics(std::uint16_t characteristics) {
  FCharacteristics = characteristics;
  return *this;
}
TPeBuilder& TPeBuilder::TimeDateStamp(std::uint32_t seconds) {
  FTimeDateStamp = seconds;
  return *this;
}
TPeBuilder& TPeBuilder::ImageBase(std::uint64_t imageBase) {
  FImageBase = imageBase;
  return *this;
}
TPeBuilder& TPeBuilder::Subsystem(std::uint16_t subsystem) {
  FSubsystem = subsystem;
  return *this;
}
TPeBuilder& TPeBuilder::SizeOfImage(std::uint32_t size) {
  FSizeOfImage = size;
  return *this;
}
TPeBuilder& TPeBuilder::DataDirectory(int index, std::uint32_t rva, std::uint32_t size) {
  FDirectories[index][0] = rva;
  FDirectories[index][1] = size;
  return *this;
}
TPeBuilder& TPeBuilder::Section(TSectionSpec section) {
  FSections.push_back(std::move(section));
  return *this;
}
TPeBuilder& TPeBuilder::PatchWord(std::size_t offset, std::uint16_t value) {
  FWordPatches.emplace_back(offset, value);
  return *this;
}
TPeBuilder& TPeBuilder::PatchDWord(std::size_t offset, std::uint32_t value) {
  FDWordPatches.emplace_back(offset, value);
  return *this;
}

TBytes TPeBuilder::Build() const {
  const std::size_t optionalSize = FWide ? 240 : 224;
  const std::size_t sectionTable = OptionalOffset + optionalSize;
  const std::size_t headersEnd = sectionTable + 40 * FSections.size();
  const std::size_t sizeOfHeaders = (headersEnd + FileAlignment - 1) / FileAlignment * FileAlignment;

  TBytes file(sizeOfHeaders, 0);
  file[0] = 'M';
  file[1] = 'Z';
  PutWord(file, 0x02, 0x90);
  PutWord(file, 0x04, 3);
  PutWord(file, 0x08, 4);
  PutWord(file, 0x0C, 0xFFFF);
  PutWord(file, 0x10, 0xB8);
  PutWord(file, 0x18, 0x40);
  PutDWord(file, 0x3C, static_cast<std::uint32_t>(PeOffset));

  file[PeOffset] = 'P';
  file[PeOffset + 1] = 'E';
  PutWord(file, PeOffset + 4, FMachine);
  PutWord(file, PeOffset + 6, static_cast<std::uint16_t>(FSections.size()));
  PutDWord(file, PeOffset + 8, FTimeDateStamp);
  PutWord(file, PeOffset + 20, static_cast<std::uint16_t>(optionalSize));
  PutWord(file, PeOffset + 22, FCharacteristics);

  const std::size_t o = OptionalOffset;
  PutWord(file, o + 0, FMagic);
  file[o + 2] = 2;
  file[o + 3] = 50;
  std::uint32_t sizeOfImage = static_cast<std::uint32_t>(sizeOfHeaders);
  std::uint32_t code = 0;
  for (const TSectionSpec& section : FSections) {
    const std::uint32_t extent =
        std::max<std::uint32_t>(section.VirtualSize, static_cast<std::uint32_t>(section.RawData.size()));
    sizeOfImage = std::max(sizeOfImage, section.VirtualAddress + extent);
    code += static_cast<std::uint32_t>(section.RawData.size());
  }
  sizeOfImage = (sizeOfImage + 0xFFF) / 0x1000 * 0x1000;
  if (FSizeOfImage != 0)
    sizeOfImage = FSizeOfImage;
  PutDWord(file, o + 4, code);
  PutDWord(file, o + 16, FSections.empty() ? 0 : FSections.front().VirtualAddress);
  if (FWide) {
    PutQWord(file, o + 24, FImageBase);
  } else {
    PutDWord(file, o + 28, static_cast<std::uint32_t>(FImageBase));
  }
  PutDWord(file, o + 32, 0x1000);
  PutDWord(file, o + 36, static_cast<std::uint32_t>(FileAlignment));
  PutWord(file, o + 40, 4);
  PutWord(file, o + 48, 4);
  PutDWord(file, o + 56, sizeOfImage);
  PutDWord(file, o + 60, static_cast<std::uint32_t>(sizeOfHeaders));
  PutWord(file, o + 68, FSubsystem);
  const std::size_t natural = FWide ? 8 : 4;
  const std::uint64_t stackHeap[] = {0x100000, 0x1000, 0x100000, 0x1000};
  for (std::size_t i = 0; i < 4; ++i) {
    if (FWide)
      PutQWord(file, o + 72 + i * natural, stackHeap[i]);
    else
      PutDWord(file, o + 72 + i * natural, static_cast<std::uint32_t>(stackHeap[i]));
  }
  const std::size_t directories = o + (FWide ? 112 : 96);
  PutDWord(file, directories - 4, 16);
  for (std::size_t i = 0; i < 16; ++i) {
    PutDWord(file, directories + 8 * i, FDirectories[i][0]);
    PutDWord(file, directories + 8 * i + 4, FDirectories[i][1]);
  }

  std::size_t rawOffset = sizeOfHeaders;
  for (std::size_t i = 0; i < FSections.size(); ++i) {
    const TSectionSpec& section = FSections[i];
    const std::size_t header = sectionTable + 40 * i;
    for (std::size_t c = 0; c < 8 && c < section.Name.size(); ++c)
      file[header + c] = static_cast<std::uint8_t>(section.Name[c]);
    PutDWord(file, header + 8, section.VirtualSize);
    PutDWord(file, header + 12, section.VirtualAddress);
    const auto rawSize = static_cast<std::uint32_t>(section.RawData.size());
    PutDWord(file, header + 16, section.OverrideRaw ? section.SizeOfRawData : rawSize);
    PutDWord(file, header + 20,
             section.OverrideRaw ? section.PointerToRawData : (rawSize == 0 ? 0 : static_cast<std::uint32_t>(rawOffset)));
    PutDWord(file, header + 36, 0x60000020);
    if (rawSize != 0) {
      file.resize(rawOffset);
      file.insert(file.end(), section.RawData.begin(), section.RawData.end());
      rawOffset = (file.size() + FileAlignment - 1) / FileAlignment * FileAlignment;
      file.resize(rawOffset, 0);
    }
  }

  for (const auto& [offset, value] : FWordPatches)
    PutWord(file, offset, static_cast<std::uint16_t>(value));
  for (const auto& [offset, value] : FDWordPatches)
    PutDWord(file, offset, static_cast<std::uint32_t>(value));
  return file;
}

} // namespace korvane::test
