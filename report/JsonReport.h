// The report as data: one JSON object a file, on one line (JSON Lines).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ReportFacts.h"

namespace korvane {

/// Writes each file's report as one JSON object on one line, as the report
/// is written: the members come as their lines do, so the listings are
/// never held whole and what was written before a failure stays. About
/// ChunkBytes at a time go to the sink.
///
/// Texts are the report's 8-bit bytes: each byte becomes the code point of
/// the same value (0x80 to 0xFF become U+0080 to U+00FF, written in UTF-8),
/// and the control characters (below 0x20, 0x7F and 0x80 to 0x9F) are
/// written as \uXXXX escapes, or \n, \r, \t, \b, \f.
class TJsonReport final : public TReportFacts {
public:
  using TSink = std::function<void(std::string_view)>;
  static constexpr std::size_t DefaultChunkBytes = std::size_t{1} << 16;

  explicit TJsonReport(TSink sink, std::size_t chunkBytes = DefaultChunkBytes);

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
  void Export(std::uint16_t ordinal, std::string_view name) override;
  void Imports() override;
  void ImportLibrary(std::string_view name) override;
  void ImportByName(std::string_view name) override;
  void ImportByOrdinal(std::uint16_t ordinal) override;
  void Win16Module(std::string_view message) override;

private:
  // A member of the file's object: whatever is open inside it is closed.
  void Member(std::string_view name);
  // A member of the innermost open object.
  void Key(std::string_view name);
  // The separator before a value of the innermost open container.
  void Item();
  void Open(char bracket);
  void CloseTo(std::size_t depth);
  void String(std::string_view bytes);
  void Unsigned(std::uint64_t value);
  void PassIfFull();

  TSink FSink;
  std::size_t FChunkBytes;
  std::string FOut;
  // The closing bracket of each open container, the file's object first,
  // and whether it holds a value yet.
  std::string FClosers;
  std::vector<bool> FHasItems;
  bool FFailed = false;
};

} // namespace korvane
