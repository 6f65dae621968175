// The report's values as data: what its lines say, without the layout.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace korvane {

/// Receives the values of a report as the report writes its lines, in the
/// same order; each call goes with the line that shows the value. Texts are
/// the file's own bytes (or the report's words), not yet shaped for a line.
/// Every member does nothing here: a receiver takes what it needs.
class TReportValues {
public:
  virtual ~TReportValues() = default;

  /// The title line: the file's name without its folder.
  virtual void Title(std::string_view /*title*/) {}
  /// The kind heading; format is "PE32" or "PE32+" for a PE file, empty for
  /// an MS-DOS program.
  virtual void Kind(std::string_view /*kind*/, std::string_view /*format*/) {}
  /// The start of a header summary, named by its record ("dos_header").
  virtual void Header(std::string_view /*record*/) {}
  /// A value of the summary begun last, by the format's own field name.
  virtual void Number(std::string_view /*field*/, std::uint64_t /*value*/) {}
  /// The words the summary shows for a value.
  virtual void Words(std::string_view /*name*/, std::string_view /*words*/) {}
  /// The phrases the summary shows for one value, a line each.
  virtual void WordList(std::string_view /*name*/, std::span<const std::string_view> /*phrases*/) {}
  /// The "Exports" heading, then one call per listed name with its entry of
  /// the ordinal table, as the line shows it.
  virtual void Exports() {}
  virtual void Export(std::uint16_t /*entry*/, std::string_view /*name*/) {}
  /// Values the lines do not show, for a receiver that takes them: the
  /// export directory's Base, after Exports() and before the first Export()
  /// (the loader's ordinal of a name is its entry plus Base), and the
  /// listings of a PE32+ file, which the report leaves out. Reading them may
  /// fail where the lines alone would not.
  virtual bool TakesUnshownValues() const { return false; }
  virtual void ExportBase(std::uint32_t /*base*/) {}
  /// The "Imports" heading, then each library followed by its functions.
  virtual void Imports() {}
  virtual void ImportLibrary(std::string_view /*name*/) {}
  virtual void ImportByName(std::string_view /*name*/) {}
  virtual void ImportByOrdinal(std::uint16_t /*ordinal*/) {}
  /// The red line of a 16-bit Windows module, which replaces the report.
  virtual void Win16Module(std::string_view /*message*/) {}
};

/// The receiver that takes nothing: writers given no other use it.
TReportValues& NoReportValues();

} // namespace korvane
