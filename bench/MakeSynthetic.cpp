// Writes the synthetic DLL of the benchmarks: korvane-synthetic FILE [IMPORTS].
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "Synthetic.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fputs("usage: korvane-synthetic FILE [IMPORTS]\n", stderr);
    return 2;
  }
  korvane::bench::TSyntheticShape shape;
  if (argc == 3)
    shape.Imports = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
  const korvane::test::TBytes bytes = korvane::bench::SyntheticDll(shape);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out ? 0 : 1;
}
