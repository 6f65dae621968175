// The report's font: one face in three sizes, the same on screen, on paper
// and in RTF.
#pragma once

namespace korvane {

inline constexpr const char* ReportFontFace = "MS Sans Serif";

/// Point sizes: the file's title, the headings (file kind, "Exports",
/// "Imports"), and every other line, line breaks included.
inline constexpr int ReportTitleSize = 12;
inline constexpr int ReportHeadingSize = 10;
inline constexpr int ReportBodySize = 8;

} // namespace korvane
