// The report driver: one file in, the whole report out.
#pragma once

#include <string>
#include <vector>

#include "ByteView.h"
#include "ColumnLabels.h"
#include "FileKind.h"
#include "ReportValues.h"
#include "ReportView.h"
#include "TimeStamp.h"

namespace korvane {

inline constexpr const char* Win16ModuleMessage =
    "No PE signature found. The file appears to be a 16-bit Windows module.";

/// Every label of the header summaries and of the export listing, from the
/// tables the report is written from.
std::vector<TColumnLabel> ReportColumnLabels();

/// Writes the report of one file into a view and remembers the file's path
/// and kind between runs.
class TReportDriver {
public:
  explicit TReportDriver(TReportView& view);
  TReportDriver(TReportView& view, const TDateTimeFormatter& formatter);
  /// Also gives values the report's values with their lines, as data.
  TReportDriver(TReportView& view, const TDateTimeFormatter& formatter, TReportValues& values);

  /// Opens, maps and reports the file; failures travel out after everything
  /// acquired has been released.
  void BuildReport(const std::string& path);

  /// The report steps that work on the mapped bytes, from the title line on.
  /// Returns false for the 16-bit module, whose caret is placed without a
  /// scroll request instead of being reset.
  bool ReportMappedFile(const TByteView& file, const std::string& path);

  const std::string& FileName() const { return FFileName; }
  TFileKind FileKind() const { return FFileKind; }
  const char* GetFileKindText() const { return FileKindText(FFileKind); }

private:
  bool ReportPeFile(const TByteView& file, std::uint32_t e_lfanew, int titleLine);
  /// PE32 only: lays out the image, relocates it, lists exports and imports.
  // The listings of the image into view.
  void ReportImage(const TByteView& file, std::uint32_t e_lfanew, TReportView& view);

  TReportView& FView;
  const TDateTimeFormatter& FFormatter;
  TReportValues& FValues;
  std::string FFileName;
  TFileKind FFileKind = TFileKind::MsDos;
};

} // namespace korvane
