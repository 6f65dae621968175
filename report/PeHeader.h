// Summary of a Portable Executable's headers.
#pragma once

#include <cstdint>
#include <string>
#include <span>
#include <string_view>

#include "ByteView.h"
#include "ColumnLabels.h"
#include "ReportView.h"
#include "TimeStamp.h"

namespace korvane {

/// Appends "\n\t\t\t" when accumulator is not empty, then text.
void AppendCharacteristic(std::string& accumulator, std::string_view text);

/// The processor text of Machine; empty for a value not in the table.
std::string_view ProcessorText(std::uint16_t machine);
/// The subsystem text; "Unknown" for values without one.
std::string_view SubsystemText(std::uint16_t subsystem);

/// The labels of the PE header summary, each with the TABs written after it,
/// and the lead of a further characteristic's line (no text, three TABs).
std::span<const TColumnLabel> PeHeaderLabels();

/// Appends the PE header summary of the headers at file offset peOffset.
/// Fields are read as their lines are written.
void ReportPeHeader(TReportView& view, const TByteView& file, std::uint64_t peOffset,
                    const TDateTimeFormatter& formatter);

} // namespace korvane
