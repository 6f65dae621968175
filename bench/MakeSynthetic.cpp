// Writes the synthetic DLLs of the benchmarks:
//   korvane-synthetic FILE [IMPORTS]      many exports, imports and relocations
//   korvane-synthetic --export-limit FILE an export listing as long as it may be
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "Exports.h"
#include "Synthetic.h"

int main(int argc, char** argv) {
  const bool exportLimit = argc == 3 && std::strcmp(argv[1], "--export-limit") == 0;
  if (argc < 2 || argc > 3 || (!exportLimit && argv[1][0] == '-')) {
    std::fputs("usage: korvane-synthetic FILE [IMPORTS]\n"
               "       korvane-synthetic --export-limit FILE\n",
               stderr);
    return 2;
  }
  korvane::bench::TSyntheticShape shape;
  if (exportLimit) {
    // Every name the listing shows and not one more, nothing else to list.
    shape.Exports = static_cast<std::uint32_t>(korvane::MaxExportLines);
    shape.Imports = 0;
    shape.Relocations = 0;
  } else if (argc == 3) {
    shape.Imports = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
  }
  const korvane::test::TBytes bytes = korvane::bench::SyntheticDll(shape);
  std::ofstream out(argv[exportLimit ? 2 : 1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out ? 0 : 1;
}
