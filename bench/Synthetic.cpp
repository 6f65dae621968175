// The synthetic PE32 DLL of the benchmarks.
#include "Synthetic.h"

#include <cstdio>
#include <string>

namespace korvane::bench {

namespace {

std::string Numbered(const char* prefix, std::uint32_t n, const char* suffix = "") {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s%06u%s", prefix, n, suffix);
  return buffer;
}

} // namespace

test::TBytes SyntheticDll(const TSyntheticShape& shape) {
  test::TPeBuilder builder;
  builder.Characteristics(0x2102);
  builder.ImageBase(0x10000000);
  if (shape.Relocations > 0) {
    // A data section of pointers, one relocation for each double word.
    const std::uint32_t dataSize = (shape.Relocations * 4 + 0xFFF) / 0x1000 * 0x1000;
    test::TBytes data(dataSize, 0);
    for (std::uint32_t i = 0; i < shape.Relocations; ++i)
      test::PutDWord(data, 4 * i, 0x10001000 + 16 * i);
    builder.Section({".data", 0x1000, dataSize, data});
    std::vector<test::TRelocationBlock> blocks;
    for (std::uint32_t i = 0; i < shape.Relocations; ++i) {
      const std::uint32_t rva = 0x1000 + 4 * i;
      if (blocks.empty() || blocks.back().VirtualAddress != (rva & ~0xFFFu))
        blocks.push_back({rva & ~0xFFFu, {}, 0});
      blocks.back().Entries.push_back(static_cast<std::uint16_t>(0x3000 | (rva & 0xFFF)));
    }
    builder.Relocations(std::move(blocks));
  }

  for (std::uint32_t i = 0; i < shape.Exports; ++i)
    builder.Export(Numbered("SyntheticExportedFunction", i), static_cast<std::uint16_t>(i));
  // Functions are dealt out to the libraries round-robin in blocks of
  // descriptors, so that every library is named by several descriptors.
  const std::uint32_t perDescriptor = 100;
  std::vector<test::TImportDescriptor> descriptors;
  for (std::uint32_t i = 0, d = 0; i < shape.Imports; ++d) {
    test::TImportDescriptor entry;
    entry.Library = Numbered("synthetic_library_", d % shape.Libraries, ".dll");
    for (std::uint32_t k = 0; k < perDescriptor && i < shape.Imports; ++k, ++i)
      entry.Functions.push_back(Numbered("SyntheticImportedProcedure", i));
    builder.Import(std::move(entry));
  }
  return builder.Build();
}

} // namespace korvane::bench
