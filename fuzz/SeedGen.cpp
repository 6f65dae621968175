// Writes the fuzzer's seed files: builder-made PE32 and PE32+ files with
// exports, imports and relocations, and a few odd layouts.
#include <cstdio>
#include <filesystem>
#include <string>

#include "PeBuilder.h"
#include "TestSupport.h"

using namespace korvane::test;

namespace {

TBytes Filled(std::size_t size, std::uint8_t value) { return TBytes(size, value); }

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: korvane-fuzz-seeds FOLDER\n", stderr);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);

  TImportDescriptor bound;
  bound.Library = "BOUND.dll";
  bound.Functions = {"Lookup", "#7"};
  bound.AddressTable = {"Address"};
  bound.TimeDateStamp = 0xFFFFFFFF;
  TImportDescriptor noLookup = bound;
  noLookup.LookupTable = false;
  noLookup.TimeDateStamp = 1;

  const std::pair<const char*, TBytes> seeds[] = {
      {"listings.dll", TPeBuilder()
                           .Section({".text", 0x1000, 0x200, Filled(0x200, 0x11)})
                           .Export("Alpha", 0)
                           .Export("Beta", 2)
                           .Import("KERNEL32.dll", {"GetModuleHandleA", "#16"})
                           .Import("USER32.dll", {"MessageBoxA"})
                           .Import("kernel32.DLL", {"ExitProcess"})
                           .Relocations({{0x1000, {0x3010, 0x3020, 0xA030, 0x0000}}, {0x1000, {0x3100}}})
                           .Build()},
      {"bound.dll", TPeBuilder().Import(bound).Import(noLookup).Build()},
      {"overlap.dll", TPeBuilder()
                          .Section({".a", 0x1000, 0x1000, Filled(0x100, 0x41)})
                          .Section({".b", 0x1800, 0x10, Filled(0x40, 0x42)})
                          .Section({".c", 0x100, 0x20, Filled(0x20, 0x43)})
                          .Export("Over", 1)
                          .Build()},
      {"selfreloc.dll", TPeBuilder()
                            .Section({".d", 0x1000, 0x100, Filled(0x100, 0)})
                            .Relocations({{0x4000, {0x3000, 0x3004}}, {0x1000, {0x3008}}})
                            .Build()},
      {"pe32plus.dll", TPeBuilder()
                           .Pe32Plus()
                           .Section({".text", 0x1000, 0x200, Filled(0x200, 0x11)})
                           .Export("Wide", 1)
                           .Import("KERNEL32.dll", {"GetModuleHandleA", "#16"})
                           .Import(bound)
                           .Relocations({{0x1000, {0xA010, 0x3020, 0xA0FC, 0x0000}}, {0x1000, {0xA100}}})
                           .Build()},
      {"dos.exe", TDosBuilder().Word(0x04, 3).Build()},
  };
  for (const auto& [name, bytes] : seeds)
    if (!WriteBytes(folder / name, bytes)) {
      std::fprintf(stderr, "korvane-fuzz-seeds: cannot write %s\n", name);
      return 1;
    }
  return 0;
}
