// Checks a build of korvane.dll from its file, without loading it: the
// tables and safety flags a host relies on (see ModuleTable.h). Runs on the
// build machine, so that a module whose machine cannot run it is still
// checked.
//   korvane-module-check FILE i386|amd64
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "ModuleTable.h"

int main(int argc, char** argv) {
  using korvane::test::TModuleMachine;
  if (argc != 3 || (std::string(argv[2]) != "i386" && std::string(argv[2]) != "amd64")) {
    std::fprintf(stderr, "usage: korvane-module-check FILE i386|amd64\n");
    return 2;
  }
  std::ifstream stream(argv[1], std::ios::binary | std::ios::ate);
  std::vector<char> bytes(stream ? static_cast<std::size_t>(stream.tellg()) : 0);
  if (!stream || bytes.empty() || !stream.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    std::printf("FAIL: cannot read %s\n", argv[1]);
    return 1;
  }
  try {
    const korvane::TByteView view(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const auto tables = korvane::test::ReadModuleTables(view);
    const auto machine = std::string(argv[2]) == "amd64" ? TModuleMachine::Amd64 : TModuleMachine::I386;
    const auto faults = korvane::test::KorvaneModuleFaults(tables, machine);
    for (const std::string& fault : faults)
      std::printf("FAIL: %s: %s\n", argv[1], fault.c_str());
    if (!faults.empty())
      return 1;
    std::printf("ok: %s: %s module korvane.dll, exports", argv[1], argv[2]);
    for (const auto& entry : tables.Exports)
      std::printf(" %s@%u", entry.Name.c_str(), entry.Ordinal);
    std::printf(", imports");
    for (const auto& library : tables.ImportedLibraries)
      std::printf(" %s", library.c_str());
    std::printf(", DllCharacteristics 0x%04X\n", static_cast<unsigned>(tables.DllCharacteristics));
    return 0;
  } catch (const std::exception& failure) {
    std::printf("FAIL: %s: %s\n", argv[1], failure.what());
    return 1;
  }
}
