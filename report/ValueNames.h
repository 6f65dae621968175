// The names the report's values go by as data: the members of its JSON form.
// The values read from a header go by the format's own field names
// (PeFormat.h); these are the others.
#pragma once

#include <string_view>

namespace korvane::value_name {

// A file's object.
inline constexpr std::string_view File = "file";
inline constexpr std::string_view Title = "title";
inline constexpr std::string_view Kind = "kind";
inline constexpr std::string_view Format = "format";
inline constexpr std::string_view Error = "error";
inline constexpr std::string_view Message = "message";

// The header summaries, and the words they show for a value.
inline constexpr std::string_view DosHeader = "dos_header";
inline constexpr std::string_view PeHeader = "pe_header";
inline constexpr std::string_view CharacteristicsText = "CharacteristicsText";
inline constexpr std::string_view MachineName = "MachineName";
inline constexpr std::string_view TimeDateStampText = "TimeDateStampText";
inline constexpr std::string_view SubsystemName = "SubsystemName";
// The halves of the MS-DOS header's CS:IP, which is read as one value.
inline constexpr std::string_view DosIp = "e_ip";
inline constexpr std::string_view DosCs = "e_cs";

// The listings.
inline constexpr std::string_view Exports = "exports";
inline constexpr std::string_view Imports = "imports";
inline constexpr std::string_view Ordinal = "ordinal";
// An export's entry of the ordinal table: its index into the export address
// table, without the directory's Base.
inline constexpr std::string_view Index = "index";
inline constexpr std::string_view Name = "name";
inline constexpr std::string_view Library = "library";
inline constexpr std::string_view Functions = "functions";

} // namespace korvane::value_name
