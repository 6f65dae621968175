// A streaming JSON writer: containers, members and values as they come,
// handed on in chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

/// Writes JSON text as its values come and hands it to the sink about
/// ChunkBytes at a time (PassIfFull) and at the end of each line. It places
/// the separators and closes what is open; what goes where is the caller's.
///
/// Strings are 8-bit bytes: each byte becomes the code point of the same
/// value (0x80 to 0xFF become U+0080 to U+00FF, written in UTF-8), and the
/// control characters (below 0x20, 0x7F and 0x80 to 0x9F) are written as
/// \uXXXX escapes, or \n, \r, \t, \b, \f.
class TJsonWriter {
public:
  using TSink = std::function<void(std::string_view)>;

  TJsonWriter(TSink sink, std::size_t chunkBytes);

  // The small steps are defined here, so that a member or a value costs
  // no call; a listing writes millions of them.

  /// Opens an object ('{') or an array ('[') as the next value.
  void Open(char bracket) {
    Separate();
    FOut += bracket;
    FClosers += bracket == '{' ? '}' : ']';
    FHasItems.push_back(0);
  }
  /// The name of the next member of the innermost open object. Names are
  /// the program's own words, none of whose bytes needs an escape: they are
  /// written as they are.
  void Key(std::string_view name) {
    Separate();
    FOut += '"';
    FOut += name;
    FOut += "\":";
    FAfterKey = true;
  }
  void String(std::string_view bytes) {
    Separate();
    Quote(bytes);
  }
  void Unsigned(std::uint64_t value);
  /// Key(name), then Unsigned(value), in one step.
  void Member(std::string_view name, std::uint64_t value);

  /// How many containers are open.
  std::size_t Depth() const { return FClosers.size(); }
  /// Closes the innermost containers until depth are open.
  void CloseTo(std::size_t depth) {
    while (FClosers.size() > depth) {
      FOut += FClosers.back();
      FClosers.pop_back();
      FHasItems.pop_back();
    }
  }
  /// Closes everything, ends the line and hands all that is held to the sink.
  void EndLine();
  /// Hands what is held to the sink once it holds ChunkBytes.
  void PassIfFull();

private:
  // The separator before a value of an array, or before a member's name.
  void Separate() {
    if (FAfterKey) {
      FAfterKey = false;
      return;
    }
    if (FHasItems.empty())
      return;
    if (FHasItems.back() != 0)
      FOut += ',';
    FHasItems.back() = 1;
  }
  // The string's bytes in quotes.
  void Quote(std::string_view bytes);

  TSink FSink;
  std::size_t FChunkBytes;
  std::string FOut;
  // The closing bracket of each open container, outermost first, and
  // whether it holds a value yet.
  std::string FClosers;
  std::vector<std::uint8_t> FHasItems;
  // A member's name was written: its value needs no separator.
  bool FAfterKey = false;
};

} // namespace korvane
