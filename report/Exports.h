// The export listing: each name of the export name pointer table with its
// entry of the ordinal table.
#pragma once

#include <cstdint>
#include <span>

#include "ColumnLabels.h"
#include "ImageReader.h"
#include "ReportValues.h"
#include "ReportView.h"

namespace korvane {

/// The listing stops with a failure rather than write more entry lines than
/// this; the largest real export tables hold about 65,000 names.
inline constexpr std::int32_t MaxExportLines = 1 << 20;
/// Nor does it gather more name bytes than this in all.
inline constexpr std::uint64_t MaxExportTextBytes = std::uint64_t{64} << 20;

/// The lead of the column heading and of the entry lines: each stands before
/// the TAB that precedes the exported names.
std::span<const TColumnLabel> ExportColumnLabels();

/// Writes the "Exports" section for the export directory at exportRva; each
/// entry line is written, and given to values, as soon as its entry is read.
void ReportExports(TReportView& view, TImageReader& image, std::uint32_t exportRva,
                   TReportValues& values = NoReportValues());

} // namespace korvane
