// The export and import tables and the DLL characteristics of a PE32 or
// PE32+ module read from its file bytes: how the tests check what korvane.dll
// offers a host, for either build, with or without loading it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ByteView.h"

namespace korvane::test {

struct TModuleExport {
  std::string Name;
  std::uint32_t Ordinal = 0; // ordinal base plus the entry of the ordinal table

  bool operator==(const TModuleExport&) const = default;
};

struct TModuleTables {
  std::uint16_t Machine = 0;
  std::uint16_t Magic = 0;
  std::uint16_t DllCharacteristics = 0;
  std::string ExportName; // the module name of the export directory
  std::uint32_t OrdinalBase = 0;
  std::uint32_t FunctionCount = 0;
  std::vector<TModuleExport> Exports; // in the order of the name table
  std::vector<std::string> ImportedLibraries;
};

/// Reads the tables; a damaged file raises TFormatError.
TModuleTables ReadModuleTables(const TByteView& file);

/// The machine a build of korvane.dll is made for.
enum class TModuleMachine { I386, Amd64 };

/// What differs between the tables and the module that a host of that
/// machine expects: four exports with fixed names and ordinals, nothing else
/// exported, the module name korvane.dll, imports of system DLLs only, and
/// the DLL characteristics of a module that is safe in a host's process
/// (relocatable at a random base, data never executable, on x64 also above
/// 4 GiB). Empty when the module is as it should be.
std::vector<std::string> KorvaneModuleFaults(const TModuleTables& tables, TModuleMachine machine);

} // namespace korvane::test
