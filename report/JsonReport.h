// The report as data: one JSON object a file, on one line (JSON Lines).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "JsonWriter.h"
#include "ReportValues.h"

namespace korvane {

/// Writes each file's report as one JSON object on one line, as the report
/// is written: the members come as their lines do, so the listings are
/// never held whole and what was written before a failure stays. About
/// ChunkBytes at a time go to the sink. Texts are written by TJsonWriter's
/// rule for bytes.
class TJsonReport final : public TReportValues {
public:
  using TSink = TJsonWriter::TSink;
  static constexpr std::size_t DefaultChunkBytes = std::size_t{1} << 16;

  explicit TJsonReport(TSink sink, std::size_t chunkBytes = DefaultChunkBytes);

  /// The line of the file at path: its object opened with its first member
  /// "file", then report(), which gives the values and returns the message
  /// of the failure that ended the report, if one did; that message becomes
  /// the member "error". The line then goes to the sink.
  template <typename Report>
  void WriteLine(std::string_view path, Report report) {
    Begin(path);
    if (const std::optional<std::string> failure = report())
      Fail(*failure);
    End();
  }

  /// Opens the object of the file at path, its first member "file".
  void Begin(std::string_view path);
  /// The member "error" with the message of the failure that ended the
  /// report; a report that has one already keeps it.
  void Fail(std::string_view message);
  /// Closes the object, ends its line and hands everything to the sink.
  void End();

  void Title(std::string_view title) override;
  void Kind(std::string_view kind, std::string_view format) override;
  void Header(std::string_view record) override;
  void Number(std::string_view field, std::uint64_t value) override;
  void Words(std::string_view name, std::string_view words) override;
  void WordList(std::string_view name, std::span<const std::string_view> phrases) override;
  void Exports() override;
  void Export(std::uint16_t entry, std::string_view name) override;
  bool TakesUnshownValues() const override { return true; }
  void ExportBase(std::uint32_t base) override { FExportBase = base; }
  void Imports() override;
  void ImportLibrary(std::string_view name) override;
  void ImportByName(std::string_view name) override;
  void ImportByOrdinal(std::uint16_t ordinal) override;
  void Win16Module(std::string_view message) override;

private:
  // A member of the file's object: whatever is open inside it is closed.
  void FileMember(std::string_view name);

  TJsonWriter FJson;
  bool FFailed = false;
  std::uint32_t FExportBase = 0;
};

} // namespace korvane
