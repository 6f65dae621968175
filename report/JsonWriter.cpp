// A streaming JSON writer.
#include "JsonWriter.h"

#include <array>
#include <charconv>
#include <cstring>

namespace korvane {

namespace {

// A byte goes into a JSON string as it is, as an escape, or (from 0x80 up)
// as the UTF-8 of the code point of its value.
constexpr bool WrittenAsItIs(std::size_t byte) { return byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\'; }

// The escape of a byte that needs one; empty for the others.
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

// Whether the eight bytes of word hold one that is not written as it is.
// Checks a word a step, without a table: names are nearly always plain.
constexpr bool HasSpecial(std::uint64_t word) {
  constexpr std::uint64_t Ones = 0x0101010101010101u;
  constexpr std::uint64_t Highs = 0x8080808080808080u;
  // A byte below n (n at most 0x80) leaves its high bit set here; so does a
  // byte from 0x80 up, through the last test, which also catches 0x7F.
  const auto below = [](std::uint64_t bytes, std::uint64_t n) { return (bytes - Ones * n) & ~bytes & Highs; };
  return (below(word, 0x20) | below(word ^ (Ones * '"'), 1) | below(word ^ (Ones * '\\'), 1) |
          (((word + Ones) | word) & Highs)) != 0;
}

// The word test and the escapes agree with the rule on every byte, alone
// and among plain ones.
constexpr bool AgreesWithRule() {
  for (std::size_t byte = 0; byte < 256; ++byte) {
    const bool plain = WrittenAsItIs(byte);
    if (plain != (Escapes[byte].Length == 0 && byte < 0x80))
      return false;
    for (unsigned at = 0; at < 64; at += 8)
      if (HasSpecial((0x4141414141414141u & ~(std::uint64_t{0xFF} << at)) | (std::uint64_t{byte} << at)) == plain)
        return false;
  }
  return true;
}
static_assert(AgreesWithRule());

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

TJsonWriter::TJsonWriter(TSink sink, std::size_t chunkBytes) : FSink(std::move(sink)), FChunkBytes(chunkBytes) {}

void TJsonWriter::Quote(std::string_view bytes) {
  FOut += '"';
  if (!HasSpecial(bytes)) {
    FOut.append(bytes);
    FOut += '"';
    return;
  }
  std::size_t plain = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (WrittenAsItIs(byte))
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

void TJsonWriter::Unsigned(std::uint64_t value) {
  Separate();
  char digits[20];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  FOut.append(digits, result.ptr);
}

void TJsonWriter::Member(std::string_view name, std::uint64_t value) {
  // The name, its quotes and colon, and the digits, appended at once; a
  // name too long for that goes in the two steps.
  char text[64];
  if (name.size() > sizeof text - 24) {
    Key(name);
    Unsigned(value);
    return;
  }
  Separate();
  text[0] = '"';
  std::memcpy(text + 1, name.data(), name.size());
  char* end = text + 1 + name.size();
  *end++ = '"';
  *end++ = ':';
  end = std::to_chars(end, text + sizeof text, value).ptr;
  FOut.append(text, end);
}

void TJsonWriter::EndLine() {
  CloseTo(0);
  FOut += '\n';
  FSink(FOut);
  FOut.clear();
}

void TJsonWriter::PassIfFull() {
  if (FOut.size() < FChunkBytes)
    return;
  FSink(FOut);
  FOut.clear();
}

} // namespace korvane
