// The synthetic PE32 DLL of the benchmarks: many named exports, imports
// spread over many libraries, and base relocations, made by the test builder.
#pragma once

#include <cstdint>

#include "PeBuilder.h"

namespace korvane::bench {

struct TSyntheticShape {
  std::uint32_t Exports = 100000;
  std::uint32_t Imports = 200000;
  std::uint32_t Libraries = 500;
  std::uint32_t Relocations = 100000;
};

test::TBytes SyntheticDll(const TSyntheticShape& shape);

} // namespace korvane::bench
