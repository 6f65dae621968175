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
TPeBuilder& TPeBuilder::Export(std::string name, std::uint16_t ordinal) {
  FExports.emplace_back(std::move(name), ordinal);
  return *this;
}
TPeBuilder& TPeBuilder::ExportBase(std::uint32_t base) {
  FExportBase = base;
  return *this;
}
TPeBuilder& TPeBuilder::Import(std::string library, std::vector<std::string> functions) {
  TImportDescriptor descriptor;
  descriptor.Library = std::move(library);
  descriptor.Functions = std::move(functions);
  return Import(std::move(descriptor));
}
TPeBuilder& TPeBuilder::Import(TImportDescriptor descriptor) {
  FImports.push_back(std::move(descriptor));
  return *this;
}
TPeBuilder& TPeBuilder::Relocations(std::vector<TRelocationBlock> blocks) {
  FRelocations = std::move(blocks);
  FHasRelocations = true;
  return *this;
}

std::size_t TPeLayout::FileOffset(std::uint32_t rva) const {
  std::size_t offset = rva;
  std::uint32_t best = 0;
  for (const auto& [virtualAddress, raw] : SectionStarts)
    if (virtualAddress <= rva && virtualAddress >= best) {
      best = virtualAddress;
      offset = raw + (rva - virtualAddress);
    }
  return offset;
}

namespace {

void PutText(TBytes& bytes, std::size_t offset, const std::string& text) {
  if (bytes.size() < offset + text.size() + 1)
    bytes.resize(offset + text.size() + 1);
  std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
  bytes[offset + text.size()] = 0;
}

TBytes ExportSection(std::uint32_t va, const std::vector<std::pair<std::string, std::uint16_t>>& exports,
                     std::uint32_t base) {
  const auto n = static_cast<std::uint32_t>(exports.size());
  std::uint32_t functions = 0;
  for (const auto& [name, ordinal] : exports)
    functions = std::max<std::uint32_t>(functions, ordinal + 1u);
  const std::uint32_t eat = 40;
  const std::uint32_t namePointers = eat + 4 * functions;
  const std::uint32_t ordinals = namePointers + 4 * n;
  std::uint32_t text = ordinals + 2 * n;
  TBytes bytes(text, 0);
  PutDWord(bytes, 16, base);
  PutDWord(bytes, 20, functions);
  PutDWord(bytes, 24, n);
  PutDWord(bytes, 28, va + eat);
  PutDWord(bytes, 32, va + namePointers);
  PutDWord(bytes, 36, va + ordinals);
  for (std::uint32_t f = 0; f < functions; ++f)
    PutDWord(bytes, eat + 4 * f, va);
  PutDWord(bytes, 12, va + text);
  PutText(bytes, text, "builder.dll");
  text += 12;
  for (std::uint32_t i = 0; i < n; ++i) {
    PutDWord(bytes, namePointers + 4 * i, va + text);
    PutWord(bytes, ordinals + 2 * i, exports[i].second);
    PutText(bytes, text, exports[i].first);
    text += static_cast<std::uint32_t>(exports[i].first.size()) + 1;
  }
  return bytes;
}

TBytes ImportSection(std::uint32_t va, const std::vector<TImportDescriptor>& imports, bool wide) {
  // Descriptors (and the ending one of zeros), then per descriptor its lookup
  // table and address table, then the hint/name entries and library names.
  // A PE32+ file's thunks are 8 bytes, the ordinal flag in bit 63.
  const std::uint32_t size = wide ? 8 : 4;
  std::uint32_t at = 20 * static_cast<std::uint32_t>(imports.size() + 1);
  std::vector<std::uint32_t> lookup(imports.size()), address(imports.size());
  for (std::size_t d = 0; d < imports.size(); ++d) {
    const TImportDescriptor& entry = imports[d];
    lookup[d] = at;
    at += size * static_cast<std::uint32_t>(entry.Functions.size() + 1);
    address[d] = at;
    const std::size_t addressCount = entry.AddressTable.empty() ? entry.Functions.size() : entry.AddressTable.size();
    at += size * static_cast<std::uint32_t>(addressCount + 1);
  }
  TBytes bytes(at, 0);
  auto thunk = [&](const std::string& function) -> std::uint64_t {
    if (!function.empty() && function[0] == '#')
      return (wide ? 0x8000000000000000u : 0x80000000u) | std::stoul(function.substr(1));
    const std::uint32_t entry = static_cast<std::uint32_t>(bytes.size());
    PutWord(bytes, entry, 0);
    PutText(bytes, entry + 2, function);
    if (bytes.size() % 2 != 0)
      bytes.push_back(0);
    return va + entry;
  };
  for (std::size_t d = 0; d < imports.size(); ++d) {
    const TImportDescriptor& entry = imports[d];
    const std::size_t descriptor = 20 * d;
    // As linkers do, both tables point at the same hint/name entries unless
    // the address table is given its own functions.
    const auto put = [&](std::size_t offset, std::uint64_t value) {
      if (wide)
        PutQWord(bytes, offset, value);
      else
        PutDWord(bytes, offset, static_cast<std::uint32_t>(value));
    };
    for (std::size_t f = 0; f < entry.Functions.size(); ++f) {
      const std::uint64_t value = thunk(entry.Functions[f]);
      put(lookup[d] + size * f, value);
      if (entry.AddressTable.empty())
        put(address[d] + size * f, value);
    }
    for (std::size_t f = 0; f < entry.AddressTable.size(); ++f)
      put(address[d] + size * f, thunk(entry.AddressTable[f]));
    const auto name = static_cast<std::uint32_t>(bytes.size());
    PutText(bytes, name, entry.Library);
    PutDWord(bytes, descriptor + 0, entry.LookupTable ? va + lookup[d] : 0);
    PutDWord(bytes, descriptor + 4, entry.TimeDateStamp);
    PutDWord(bytes, descriptor + 12, va + name);
    PutDWord(bytes, descriptor + 16, va + address[d]);
  }
  return bytes;
}

TBytes RelocationSection(const std::vector<TRelocationBlock>& blocks) {
  TBytes bytes;
  for (const TRelocationBlock& block : blocks) {
    const std::size_t at = bytes.size();
    const auto natural = static_cast<std::uint32_t>(8 + 2 * block.Entries.size());
    PutDWord(bytes, at, block.VirtualAddress);
    PutDWord(bytes, at + 4, block.SizeOfBlock != 0 ? block.SizeOfBlock : natural);
    for (std::size_t i = 0; i < block.Entries.size(); ++i)
      PutWord(bytes, at + 8 + 2 * i, block.Entries[i]);
  }
  return bytes;
}

} // namespace

TPeBuilder& TPeBuilder::PatchWord(std::size_t offset, std::uint16_t value) {
  FWordPatches.emplace_back(offset, value);
  return *this;
}
TPeBuilder& TPeBuilder::PatchDWord(std::size_t offset, std::uint32_t value) {
  FDWordPatches.emplace_back(offset, value);
  return *this;
}

TBytes TPeBuilder::Build(TPeLayout* layout) const {
  // Generated tables go into sections of their own after the given ones.
  std::vector<TSectionSpec> sections = FSections;
  std::uint32_t directories[16][2];
  std::copy(&FDirectories[0][0], &FDirectories[0][0] + 32, &directories[0][0]);
  TPeLayout generated;
  std::uint32_t nextVa = 0x1000;
  for (const TSectionSpec& section : FSections) {
    const std::uint32_t extent =
        std::max<std::uint32_t>(section.VirtualSize, static_cast<std::uint32_t>(section.RawData.size()));
    nextVa = std::max(nextVa, (section.VirtualAddress + extent + 0xFFF) / 0x1000 * 0x1000);
  }
  auto addSection = [&](const char* name, TBytes bytes) {
    const std::uint32_t va = nextVa;
    const auto size = static_cast<std::uint32_t>(bytes.size());
    sections.push_back(TSectionSpec{name, va, size, std::move(bytes)});
    nextVa = (va + size + 0xFFF) / 0x1000 * 0x1000;
    return va;
  };
  if (!FExports.empty()) {
    generated.ExportDirectory = addSection(".edata", ExportSection(nextVa, FExports, FExportBase));
    directories[0][0] = generated.ExportDirectory;
    directories[0][1] = 40;
  }
  if (!FImports.empty()) {
    generated.ImportDirectory = addSection(".idata", ImportSection(nextVa, FImports, FWide));
    directories[1][0] = generated.ImportDirectory;
    directories[1][1] = static_cast<std::uint32_t>(20 * (FImports.size() + 1));
  }
  if (FHasRelocations) {
    TBytes relocations = RelocationSection(FRelocations);
    generated.RelocationsSize = static_cast<std::uint32_t>(relocations.size());
    generated.Relocations = addSection(".reloc", std::move(relocations));
    directories[5][0] = generated.Relocations;
    directories[5][1] = generated.RelocationsSize;
  }

  const std::size_t optionalSize = FWide ? 240 : 224;
  const std::size_t sectionTable = OptionalOffset + optionalSize;
  const std::size_t headersEnd = sectionTable + 40 * sections.size();
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
  PutWord(file, PeOffset + 6, static_cast<std::uint16_t>(sections.size()));
  PutDWord(file, PeOffset + 8, FTimeDateStamp);
  PutWord(file, PeOffset + 20, static_cast<std::uint16_t>(optionalSize));
  PutWord(file, PeOffset + 22, FCharacteristics);

  const std::size_t o = OptionalOffset;
  PutWord(file, o + 0, FMagic);
  file[o + 2] = 2;
  file[o + 3] = 50;
  std::uint32_t sizeOfImage = static_cast<std::uint32_t>(sizeOfHeaders);
  std::uint32_t code = 0;
  for (const TSectionSpec& section : sections) {
    const std::uint32_t extent =
        std::max<std::uint32_t>(section.VirtualSize, static_cast<std::uint32_t>(section.RawData.size()));
    sizeOfImage = std::max(sizeOfImage, section.VirtualAddress + extent);
    code += static_cast<std::uint32_t>(section.RawData.size());
  }
  sizeOfImage = (sizeOfImage + 0xFFF) / 0x1000 * 0x1000;
  if (FSizeOfImage != 0)
    sizeOfImage = FSizeOfImage;
  PutDWord(file, o + 4, code);
  PutDWord(file, o + 16, sections.empty() ? 0 : sections.front().VirtualAddress);
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
  const std::size_t directoryTable = o + (FWide ? 112 : 96);
  PutDWord(file, directoryTable - 4, 16);
  for (std::size_t i = 0; i < 16; ++i) {
    PutDWord(file, directoryTable + 8 * i, directories[i][0]);
    PutDWord(file, directoryTable + 8 * i + 4, directories[i][1]);
  }

  std::size_t rawOffset = sizeOfHeaders;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const TSectionSpec& section = sections[i];
    const std::size_t header = sectionTable + 40 * i;
    for (std::size_t c = 0; c < 8 && c < section.Name.size(); ++c)
      file[header + c] = static_cast<std::uint8_t>(section.Name[c]);
    PutDWord(file, header + 8, section.VirtualSize);
    PutDWord(file, header + 12, section.VirtualAddress);
    const auto rawSize = static_cast<std::uint32_t>(section.RawData.size());
    PutDWord(file, header + 16, section.OverrideRaw ? section.SizeOfRawData : rawSize);
    PutDWord(file, header + 20,
             section.OverrideRaw ? section.PointerToRawData
                                 : (rawSize == 0 ? 0 : static_cast<std::uint32_t>(rawOffset)));
    PutDWord(file, header + 36, 0x60000020);
    if (rawSize != 0) {
      generated.SectionStarts.emplace_back(section.VirtualAddress, static_cast<std::uint32_t>(rawOffset));
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
  if (layout != nullptr)
    *layout = std::move(generated);
  return file;
}

} // namespace korvane::test
