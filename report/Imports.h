// The import listing: the imported functions grouped by library.
#pragma once

#include <cstdint>

#include "ImageReader.h"
#include "ReportValues.h"
#include "ReportView.h"

namespace korvane {

/// The walk stops with a failure rather than gather more functions than
/// this; real files import a few thousand.
inline constexpr std::uint32_t MaxImportFunctions = 1 << 20;
/// Nor does it read more descriptors than this (real files have a few
/// hundred), whether or not they import anything.
inline constexpr std::uint32_t MaxImportDescriptors = 1 << 20;
/// Nor does it read more bytes of names than this in all: every function
/// name and every descriptor's library name counts.
inline constexpr std::uint64_t MaxImportTextBytes = std::uint64_t{64} << 20;

/// Bit 31 of a PE32 thunk marks an import by ordinal, bit 63 of a PE32+ one.
constexpr bool IsOrdinalThunk(std::uint32_t thunk) { return (thunk & 0x80000000u) != 0; }
constexpr bool IsOrdinalThunk64(std::uint64_t thunk) { return (thunk & 0x8000000000000000u) != 0; }

/// Gathers every descriptor of the import directory at importRva, then
/// writes the "Imports" section, giving values each library and function with
/// its line; a failure while gathering writes nothing.
void ReportImports(TReportView& view, TImageReader& image, std::uint32_t importRva,
                   TReportValues& values = NoReportValues());

} // namespace korvane
