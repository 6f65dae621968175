// Writes a set of builder-made sample files into a folder, for the CLI tests,
// the demo commands and the fuzzer's seeds.
#include <cstdio>
#include <filesystem>

#include "PeBuilder.h"
#include "TestSupport.h"

using korvane::test::TBytes;
using korvane::test::TDosBuilder;
using korvane::test::TPeBuilder;
using korvane::test::WriteBytes;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: korvane-samplegen FOLDER\n", stderr);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const TBytes pe = TPeBuilder().Characteristics(0x2102).TimeDateStamp(3600).Build();
  const std::pair<const char*, TBytes> samples[] = {
      {"dos.exe", TDosBuilder().Word(0x04, 3).Word(0x1C, 1).Byte(0x1E, 0xFB).Byte(0x1F, 0x33).Build()},
      {"pe32.dll", pe},
      {"pe32plus.dll", TPeBuilder().Pe32Plus().Build()},
      {"win16.exe", TPeBuilder().Magic(0x0107).Build()},
      {"empty.exe", TBytes{}},
      {"short.exe", TBytes(pe.begin(), pe.begin() + 0x90)},
      {"listings.dll", TPeBuilder()
                           .Export("Alpha", 0)
                           .Export("Beta", 2)
                           .Import("KERNEL32.dll", {"GetModuleHandleA", "#16"})
                           .Import("USER32.dll", {"MessageBoxA"})
                           .Import("kernel32.DLL", {"ExitProcess"})
                           .Build()},
  };
  for (const auto& [name, bytes] : samples)
    if (!WriteBytes(folder / name, bytes)) {
      std::fprintf(stderr, "korvane-samplegen: cannot write %s\n", name);
      return 1;
    }
  return 0;
}
