#include "ModuleTable.h"

#include <algorithm>
#include <cctype>

#include "Errors.h"

namespace korvane::test {

namespace {

constexpr std::uint16_t Pe32Magic = 0x10B;
constexpr std::uint16_t Pe32PlusMagic = 0x20B;
constexpr std::uint16_t I386Machine = 0x14C;
constexpr std::uint16_t Amd64Machine = 0x8664;
// DllCharacteristics lies at the same offset in both optional headers: PE32+
// drops BaseOfData but widens ImageBase, so the fields from SectionAlignment
// to Subsystem and DllCharacteristics (at 70) line up again.
constexpr std::uint16_t DllCharacteristicsOffset = 70;

struct TDllCharacteristic {
  std::uint16_t Flag;
  const char* Name;
  bool Amd64Only;
};
constexpr TDllCharacteristic SafetyFlags[] = {
    {0x0040, "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", false},
    {0x0100, "IMAGE_DLLCHARACTERISTICS_NX_COMPAT", false},
    {0x0020, "IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA", true},
};

struct TSection {
  std::uint32_t VirtualAddress;
  std::uint32_t VirtualSize;
  std::uint32_t RawSize;
  std::uint32_t RawOffset;
};

class TModuleReader {
public:
  explicit TModuleReader(const TByteView& file) : FFile(file) {
    const std::uint32_t pe = file.ReadDWord(0x3C, "e_lfanew");
    if (file.ReadDWord(pe, "PE signature") != 0x00004550)
      throw TFormatError("no PE signature");
    FTables.Machine = file.ReadWord(std::uint64_t{pe} + 4, "Machine");
    const std::uint16_t sectionCount = file.ReadWord(std::uint64_t{pe} + 6, "NumberOfSections");
    const std::uint16_t optionalSize = file.ReadWord(std::uint64_t{pe} + 20, "SizeOfOptionalHeader");
    const std::uint64_t optional = std::uint64_t{pe} + 24;
    FTables.Magic = file.ReadWord(optional, "Magic");
    if (FTables.Magic != Pe32Magic && FTables.Magic != Pe32PlusMagic)
      throw TFormatError("neither PE32 nor PE32+");
    if (optionalSize < DllCharacteristicsOffset + 2)
      throw TFormatError("SizeOfOptionalHeader " + std::to_string(optionalSize) + " ends before DllCharacteristics");
    FTables.DllCharacteristics = file.ReadWord(optional + DllCharacteristicsOffset, "DllCharacteristics");
    FDirectories = optional + (FTables.Magic == Pe32Magic ? 96 : 112);
    FDirectoryCount = file.ReadDWord(FDirectories - 4, "NumberOfRvaAndSizes");
    const std::uint64_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
      const std::uint64_t header = table + std::uint64_t{i} * 40;
      FSections.push_back({file.ReadDWord(header + 12, "VirtualAddress"), file.ReadDWord(header + 8, "VirtualSize"),
                           file.ReadDWord(header + 16, "SizeOfRawData"),
                           file.ReadDWord(header + 20, "PointerToRawData")});
    }
  }

  TModuleTables Read() {
    if (const std::uint32_t exports = DirectoryRva(0); exports != 0)
      ReadExports(exports);
    if (const std::uint32_t imports = DirectoryRva(1); imports != 0)
      ReadImports(imports);
    return FTables;
  }

private:
  std::uint32_t DirectoryRva(std::uint32_t index) const {
    return index < FDirectoryCount ? FFile.ReadDWord(FDirectories + std::uint64_t{index} * 8, "data directory") : 0;
  }

  // The file offset of the bytes at rva; they lie in a section's raw data.
  std::uint64_t Offset(std::uint64_t rva) const {
    for (const TSection& section : FSections) {
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.RawSize)
        return std::uint64_t{section.RawOffset} + (rva - section.VirtualAddress);
    }
    // RVAs past 4 GiB (sums of a table's start and an index) lie in no section.
    throw TFormatError("RVA " + std::to_string(rva) + " lies in no section's file bytes");
  }

  std::uint32_t DWordAt(std::uint64_t rva, const char* what) const { return FFile.ReadDWord(Offset(rva), what); }

  std::string TextAt(std::uint64_t rva) const {
    std::string text;
    for (std::uint64_t at = Offset(rva);; ++at) {
      const std::uint8_t byte = FFile.ReadByte(at, "name");
      if (byte == 0)
        return text;
      text.push_back(static_cast<char>(byte));
    }
  }

  void ReadExports(std::uint32_t directory) {
    FTables.ExportName = TextAt(DWordAt(directory + 12, "Name"));
    FTables.OrdinalBase = DWordAt(directory + 16, "Base");
    FTables.FunctionCount = DWordAt(directory + 20, "NumberOfFunctions");
    const std::uint32_t nameCount = DWordAt(directory + 24, "NumberOfNames");
    const std::uint32_t names = DWordAt(directory + 32, "AddressOfNames");
    const std::uint32_t ordinals = DWordAt(directory + 36, "AddressOfNameOrdinals");
    // Every name costs at least four bytes of the file, so a damaged count
    // ends at the first read past its end.
    for (std::uint32_t i = 0; i < nameCount; ++i) {
      const std::uint16_t index = FFile.ReadWord(Offset(ordinals + std::uint64_t{i} * 2), "name ordinal");
      FTables.Exports.push_back(
          {TextAt(DWordAt(names + std::uint64_t{i} * 4, "name pointer")), FTables.OrdinalBase + index});
    }
  }

  void ReadImports(std::uint32_t descriptors) {
    for (std::uint64_t at = descriptors;; at += 20) {
      const std::uint32_t name = DWordAt(at + 12, "import Name");
      if (name == 0 && DWordAt(at, "import OriginalFirstThunk") == 0 && DWordAt(at + 16, "import FirstThunk") == 0)
        return;
      FTables.ImportedLibraries.push_back(TextAt(name));
    }
  }

  const TByteView& FFile;
  TModuleTables FTables;
  std::uint64_t FDirectories = 0;
  std::uint32_t FDirectoryCount = 0;
  std::vector<TSection> FSections;
};

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
  return text;
}

} // namespace

TModuleTables ReadModuleTables(const TByteView& file) { return TModuleReader(file).Read(); }

std::vector<std::string> KorvaneModuleFaults(const TModuleTables& tables, TModuleMachine machine) {
  std::vector<std::string> faults;
  const bool amd64 = machine == TModuleMachine::Amd64;
  if (tables.Machine != (amd64 ? Amd64Machine : I386Machine))
    faults.push_back("Machine " + std::to_string(tables.Machine));
  if (tables.Magic != (amd64 ? Pe32PlusMagic : Pe32Magic))
    faults.push_back("Magic " + std::to_string(tables.Magic));
  if (tables.ExportName != "korvane.dll")
    faults.push_back("module name '" + tables.ExportName + "'");
  if (tables.OrdinalBase != 1)
    faults.push_back("ordinal base " + std::to_string(tables.OrdinalBase));
  if (tables.FunctionCount != 4)
    faults.push_back(std::to_string(tables.FunctionCount) + " functions exported");
  // The name table is sorted, as the loader's binary search needs.
  const std::vector<TModuleExport> expected = {
      {"CreateViewerWindow", 4}, {"DestroyViewerWindow", 2}, {"GetLastErrorText", 1}, {"ShowFile", 3}};
  if (tables.Exports != expected) {
    std::string names;
    for (const TModuleExport& entry : tables.Exports)
      names += " " + entry.Name + "@" + std::to_string(entry.Ordinal);
    faults.push_back("exported names:" + names);
  }
  static const char* const systemLibraries[] = {"KERNEL32.DLL", "USER32.DLL",   "GDI32.DLL",
                                                "COMCTL32.DLL", "COMDLG32.DLL", "MSVCRT.DLL"};
  for (const std::string& library : tables.ImportedLibraries) {
    if (std::find(std::begin(systemLibraries), std::end(systemLibraries), Upper(library)) == std::end(systemLibraries))
      faults.push_back("imports " + library);
  }
  if (tables.ImportedLibraries.empty())
    faults.push_back("no imports");
  for (const TDllCharacteristic& flag : SafetyFlags) {
    if ((tables.DllCharacteristics & flag.Flag) == 0 && (amd64 || !flag.Amd64Only))
      faults.push_back(std::string("DllCharacteristics lacks ") + flag.Name);
  }
  return faults;
}

} // namespace korvane::test
