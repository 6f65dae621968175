// Writes crafted files that once made the report take minutes or gigabytes:
// library names shared or overlapping, and relocation tables with a block
// for every page of a huge section; each as PE32 and as PE32+, whose
// listings the data form reads. The bounds test runs the CLI on them.
#include <cstdio>
#include <filesystem>
#include <string>

#include "PeBuilder.h"
#include "TestSupport.h"

using korvane::test::PutDWord;
using korvane::test::PutQWord;
using korvane::test::PutWord;
using korvane::test::TBytes;
using korvane::test::TPeBuilder;
using korvane::test::TRelocationBlock;
using korvane::test::TSectionSpec;
using korvane::test::WriteBytes;

namespace {

// A PE32 builder, or a PE32+ one.
TPeBuilder Builder(bool wide) {
  TPeBuilder builder;
  if (wide)
    builder.Pe32Plus();
  return builder;
}

// Descriptors that all import ordinal 1 and whose names start nameStep bytes
// apart in one run of 'L' bytes of runLength, ended by a NUL.
TBytes SharedNames(std::uint32_t descriptors, std::uint32_t runLength, std::uint32_t nameStep, bool wide) {
  constexpr std::uint32_t va = 0x1000;
  const std::uint32_t thunks = 20 * (descriptors + 1);
  // The thunk and the one of zeros that ends its array.
  const std::uint32_t run = thunks + (wide ? 16 : 8);
  TBytes idata(run + runLength + 1, 'L');
  std::fill(idata.begin(), idata.begin() + static_cast<std::ptrdiff_t>(run), 0);
  idata.back() = 0;
  for (std::uint32_t d = 0; d < descriptors; ++d) {
    PutDWord(idata, 20 * d + 12, va + run + d * nameStep);
    PutDWord(idata, 20 * d + 16, va + thunks);
  }
  if (wide)
    PutQWord(idata, thunks, 0x8000000000000001u);
  else
    PutDWord(idata, thunks, 0x80000001);
  return Builder(wide)
      .Section(TSectionSpec{".idata", va, static_cast<std::uint32_t>(idata.size()), idata})
      .DataDirectory(1, va, 20)
      .Build();
}

// One relocation block per page of a section of sectionSize bytes (rawSize
// of them from the file), each with one entry at offset, and an import
// listing to read, one of whose fields is relocated too (TimeDateStamp,
// which only chooses between two equal thunk arrays): the listing needs
// relocated bytes.
// A PE32+ file's entries are DIR64 (8-byte targets).
TBytes BlockPerPage(std::uint32_t sectionSize, std::uint32_t rawSize, std::uint32_t blocks, std::uint16_t offset,
                    bool wide) {
  constexpr std::uint32_t va = 0x1000;
  const std::uint16_t type = wide ? 0xA000 : 0x3000;
  std::vector<TRelocationBlock> table;
  for (std::uint32_t page = 0; page < blocks; ++page)
    table.push_back({va + page * 0x1000, {static_cast<std::uint16_t>(type | offset)}});
  TSectionSpec section{".data", va, sectionSize, TBytes(rawSize, 0x5A)};
  TPeBuilder builder = Builder(wide);
  builder.Section(section).Import("KERNEL32.dll", {"ExitProcess"}).Relocations(table);
  korvane::test::TPeLayout layout;
  builder.Build(&layout);
  // One more block leaves the import section where it was.
  const std::uint32_t stamp = layout.ImportDirectory + 4;
  table.push_back({stamp & ~0xFFFu, {static_cast<std::uint16_t>(0x3000 | (stamp & 0xFFF))}});
  return builder.Relocations(table).Build();
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: korvane-craftedgen FOLDER\n", stderr);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  for (const bool wide : {false, true}) {
    // The straddling targets end 2 bytes past their page.
    const std::pair<const char*, TBytes> files[] = {
        {"shared-name", SharedNames(65536, 16u << 20, 0, wide)},
        {"run-offsets", SharedNames(512, 1u << 20, 2048, wide)},
        {"reloc-zero", BlockPerPage(0xE0000000, 0, 250000, 0x10, wide)},
        {"reloc-straddle", BlockPerPage(0xE0000000, 0, 250000, wide ? 0xFFA : 0xFFE, wide)},
        {"reloc-file", BlockPerPage(32u << 20, 32u << 20, 8192, 0x10, wide)},
    };
    for (const auto& [name, bytes] : files) {
      const std::string file = std::string(name) + (wide ? "-64.dll" : ".dll");
      if (!WriteBytes(folder / file, bytes)) {
        std::fprintf(stderr, "korvane-craftedgen: cannot write %s\n", file.c_str());
        return 1;
      }
    }
  }
  return 0;
}
