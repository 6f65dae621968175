// The report as data: one JSON object a file, on one line.
#include "JsonReport.h"

#include <array>
#include <charconv>
#include <cstring>

namespace korvane {

namespace {

// The containers open in the import listing: the file's object and the
// "imports" array; then a library's object and its "functions" array.
constexpr std::size_t InImports = 2;
constexpr std::size_t InFunctions = 4;

// What a byte becomes in a JSON string; an empty entry stands for the byte
// itself, which needs no escape.
struct TEscape {
  char Text[6] = {};
  std::size_t Length = 0;
};

constexpr std::array<TEscape, 256> Escapes = [] {
  std::array<TEscape, 256> escapes{};
  constexpr char Digits[] = "0123456789abcdef";
  for (std::size_t byte = 0; byte < 256; ++byte)
    if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0))
      escapes[byte] = {{'\\', 'u', '0', '0', Digits[byte >> 4], Digits[byte & 0xF]}, 6};
  // The escapes JSON spells with a letter.
  constexpr struct {
    char Byte;
    char Letter;
  } Lettered[] = {{'"', '"'}, {'\\', '\\'}, {'\b', 'b'}, {'\t', 't'}, {'\n', 'n'}, {'\f', 'f'}, {'\r', 'r'}};
  for (const auto& escape : Lettered)
    escapes[static_cast<unsigned char>(escape.Byte)] = {{'\\', escape.Letter}, 2};
  return escapes;
}();

// Whether the eight bytes of word hold one that is not written as it is:
// below 0x20, '"', '\\', or from 0x7F up. Checks a word a step, without a
// table: names are nearly always plain.
constexpr bool HasSpecial(std::uint64_t word) {
  constexpr std::uint64_t Ones = 0x0101010101010101u;
  constexpr std::uint64_t Highs = 0x8080808080808080u;
  // A byte below n (n at most 0x80) leaves its high bit set here; so does a
  // byte from 0x80 up, through the last test, which also catches 0x7F.
  const auto below = [](std::uint64_t bytes, std::uint64_t n) { return (bytes - Ones * n) & ~bytes & Highs; };
  return (below(word, 0x20) | below(word ^ (Ones * '"'), 1) | below(word ^ (Ones * '\\'), 1) |
          (((word + Ones) | word) & Highs)) != 0;
}

bool HasSpecial(std::string_view text) {
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    if (HasSpecial(word))
      return true;
  }
  if (at == text.size())
    return false;
  // The last bytes, padded with plain ones.
  std::uint64_t word = 0x4141414141414141u;
  std::memcpy(&word, text.data() + at, text.size() - at);
  return HasSpecial(word);
}

} // namespace

TJsonReport::TJsonReport(TSink sink, std::size_t chunkBytes) : FSink(std::move(sink)), FChunkBytes(chunkBytes) {}

void TJsonReport::Begin(std::string_view path) {
  FClosers.clear();
  FHasItems.clear();
  FFailed = false;
  Open('{');
  Member("file");
  String(path);
}

void TJsonReport::Fail(std::string_view message) {
  if (FFailed)
    return;
  FFailed = true;
  Member("error");
  Open('{');
  Key("message");
  String(message);
}

void TJsonReport::End() {
  CloseTo(0);
  FOut += '\n';
  FSink(FOut);
  FOut.clear();
}

void TJsonReport::Title(std::string_view title) {
  Member("title");
  String(title);
}

void TJsonReport::Kind(std::string_view kind, std::string_view format) {
  Member("kind");
  String(kind);
  if (!format.empty()) {
    Member("format");
    String(format);
  }
}

void TJsonReport::Header(std::string_view record) {
  Member(record);
  Open('{');
}

void TJsonReport::Number(std::string_view field, std::uint64_t value) {
  Key(field);
  Unsigned(value);
}

void TJsonReport::Words(std::string_view name, std::string_view words) {
  Key(name);
  String(words);
}

void TJsonReport::WordList(std::string_view name, std::span<const std::string_view> phrases) {
  Key(name);
  Open('[');
  for (const std::string_view phrase : phrases) {
    Item();
    String(phrase);
  }
  CloseTo(FClosers.size() - 1);
}

void TJsonReport::Exports() {
  Member("exports");
  Open('[');
}

void TJsonReport::Export(std::uint16_t ordinal, std::string_view name) {
  Item();
  FOut += "{\"ordinal\":";
  Unsigned(ordinal);
  FOut += ",\"name\":";
  String(name);
  FOut += '}';
  PassIfFull();
}

void TJsonReport::Imports() {
  Member("imports");
  Open('[');
}

void TJsonReport::ImportLibrary(std::string_view name) {
  CloseTo(InImports);
  Item();
  Open('{');
  Key("library");
  String(name);
  Key("functions");
  Open('[');
}

void TJsonReport::ImportByName(std::string_view name) {
  if (FClosers.size() != InFunctions)
    return;
  Item();
  String(name);
  PassIfFull();
}

void TJsonReport::ImportByOrdinal(std::uint16_t ordinal) {
  if (FClosers.size() != InFunctions)
    return;
  Item();
  FOut += "{\"ordinal\":";
  Unsigned(ordinal);
  FOut += '}';
  PassIfFull();
}

void TJsonReport::Win16Module(std::string_view message) { Fail(message); }

void TJsonReport::Member(std::string_view name) {
  CloseTo(1);
  Key(name);
}

void TJsonReport::Key(std::string_view name) {
  Item();
  String(name);
  FOut += ':';
}

void TJsonReport::Item() {
  if (FHasItems.empty())
    return;
  if (FHasItems.back())
    FOut += ',';
  FHasItems.back() = true;
}

void TJsonReport::Open(char bracket) {
  FOut += bracket;
  FClosers += bracket == '{' ? '}' : ']';
  FHasItems.push_back(false);
}

void TJsonReport::CloseTo(std::size_t depth) {
  while (FClosers.size() > depth) {
    FOut += FClosers.back();
    FClosers.pop_back();
    FHasItems.pop_back();
  }
}

void TJsonReport::String(std::string_view bytes) {
  FOut += '"';
  if (!HasSpecial(bytes)) {
    FOut.append(bytes);
    FOut += '"';
    return;
  }
  std::size_t plain = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (Escapes[byte].Length == 0 && byte < 0x80)
      continue;
    FOut.append(bytes.data() + plain, i - plain);
    plain = i + 1;
    if (const TEscape& escape = Escapes[byte]; escape.Length != 0) {
      FOut.append(escape.Text, escape.Length);
    } else {
      // U+00A0 to U+00FF in UTF-8.
      const char encoded[] = {static_cast<char>(0xC0 | (byte >> 6)), static_cast<char>(0x80 | (byte & 0x3F))};
      FOut.append(encoded, 2);
    }
  }
  FOut.append(bytes.data() + plain, bytes.size() - plain);
  FOut += '"';
}

void TJsonReport::Unsigned(std::uint64_t value) {
  char digits[20];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  FOut.append(digits, result.ptr);
}

void TJsonReport::PassIfFull() {
  if (FOut.size() < FChunkBytes)
    return;
  FSink(FOut);
  FOut.clear();
}

} // namespace korvane
