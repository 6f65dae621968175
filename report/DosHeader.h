// Summary of an MS-DOS program's header.
#pragma once

#include <span>

#include "ByteView.h"
#include "ColumnLabels.h"
#include "ReportValues.h"
#include "ReportView.h"

namespace korvane {

/// Appends the DOS header summary; file starts with the DOS header. Lines are
/// written as their fields are read, so a short file fails at the first field
/// it lacks and keeps the lines before it; values gets each value with its line.
void ReportDosHeader(TReportView& view, const TByteView& file, TReportValues& values = NoReportValues());

/// The labels of the DOS header summary, each with the TABs written after it.
std::span<const TColumnLabel> DosHeaderLabels();

} // namespace korvane
