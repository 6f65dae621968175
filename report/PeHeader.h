// Summary of a Portable Executable's headers.
#pragma once

#include <cstdint>
#include <span>

#include "ByteView.h"
#include "ColumnLabels.h"
#include "ReportValues.h"
#include "ReportView.h"
#include "TimeStamp.h"

namespace korvane {

/// The labels of the PE header summary, each with the TABs written after it,
/// and the lead of a further characteristic's line (no text, three TABs).
std::span<const TColumnLabel> PeHeaderLabels();

/// Appends the PE header summary of the headers at file offset peOffset.
/// Fields are read as their lines are written, and given to values with them.
void ReportPeHeader(TReportView& view, const TByteView& file, std::uint64_t peOffset,
                    const TDateTimeFormatter& formatter, TReportValues& values = NoReportValues());

} // namespace korvane
