// The report as data: one JSON object a file, on one line.
#include "JsonReport.h"

#include "ValueNames.h"

namespace korvane {

namespace {

// The containers open in the import listing: the file's object and the
// "imports" array; then a library's object and its "functions" array.
constexpr std::size_t InFile = 1;
constexpr std::size_t InImports = 2;
constexpr std::size_t InFunctions = 4;

} // namespace

TJsonReport::TJsonReport(TSink sink, std::size_t chunkBytes) : FJson(std::move(sink), chunkBytes) {}

void TJsonReport::Begin(std::string_view path) {
  FFailed = false;
  FExportBase = 0;
  FJson.Open('{');
  FJson.Key(value_name::File);
  FJson.String(path);
}

void TJsonReport::Fail(std::string_view message) {
  if (FFailed)
    return;
  FFailed = true;
  FileMember(value_name::Error);
  FJson.Open('{');
  FJson.Key(value_name::Message);
  FJson.String(message);
}

void TJsonReport::End() { FJson.EndLine(); }

void TJsonReport::Title(std::string_view title) {
  FileMember(value_name::Title);
  FJson.String(title);
}

void TJsonReport::Kind(std::string_view kind, std::string_view format) {
  FileMember(value_name::Kind);
  FJson.String(kind);
  if (!format.empty()) {
    FileMember(value_name::Format);
    FJson.String(format);
  }
}

void TJsonReport::Header(std::string_view record) {
  FileMember(record);
  FJson.Open('{');
}

void TJsonReport::Number(std::string_view field, std::uint64_t value) { FJson.Member(field, value); }

void TJsonReport::Words(std::string_view name, std::string_view words) {
  FJson.Key(name);
  FJson.String(words);
}

void TJsonReport::WordList(std::string_view name, std::span<const std::string_view> phrases) {
  FJson.Key(name);
  FJson.Open('[');
  for (const std::string_view phrase : phrases)
    FJson.String(phrase);
  FJson.CloseTo(FJson.Depth() - 1);
}

void TJsonReport::Exports() {
  FileMember(value_name::Exports);
  FJson.Open('[');
}

void TJsonReport::Export(std::uint16_t entry, std::string_view name) {
  FJson.Open('{');
  // The loader's ordinal, which may pass 65535 in a crafted file.
  FJson.Member(value_name::Ordinal, std::uint64_t{FExportBase} + entry);
  FJson.Member(value_name::Index, entry);
  FJson.Key(value_name::Name);
  FJson.String(name);
  FJson.CloseTo(FJson.Depth() - 1);
  FJson.PassIfFull();
}

void TJsonReport::Imports() {
  FileMember(value_name::Imports);
  FJson.Open('[');
}

void TJsonReport::ImportLibrary(std::string_view name) {
  FJson.CloseTo(InImports);
  FJson.Open('{');
  FJson.Key(value_name::Library);
  FJson.String(name);
  FJson.Key(value_name::Functions);
  FJson.Open('[');
}

void TJsonReport::ImportByName(std::string_view name) {
  if (FJson.Depth() != InFunctions)
    return;
  FJson.String(name);
  FJson.PassIfFull();
}

void TJsonReport::ImportByOrdinal(std::uint16_t ordinal) {
  if (FJson.Depth() != InFunctions)
    return;
  FJson.Open('{');
  FJson.Member(value_name::Ordinal, ordinal);
  FJson.CloseTo(InFunctions);
  FJson.PassIfFull();
}

void TJsonReport::Win16Module(std::string_view message) { Fail(message); }

void TJsonReport::FileMember(std::string_view name) {
  FJson.CloseTo(InFile);
  FJson.Key(name);
}

} // namespace korvane
