// The line breaks in a report's text: every line feed ends a line.
#pragma once

#include <cstddef>
#include <string_view>

namespace korvane {

/// Calls atBreak with the offset of each line feed in text, in order, and
/// returns how many there were. Most report lines hold none: one search,
/// which steps many bytes at a time.
template <typename AtBreak>
std::size_t ForEachLineBreak(std::string_view text, AtBreak atBreak) {
  std::size_t breaks = 0;
  for (std::size_t feed = text.find('\n'); feed != std::string_view::npos; feed = text.find('\n', feed + 1)) {
    atBreak(feed);
    ++breaks;
  }
  return breaks;
}

/// The number of line feeds in text.
inline std::size_t CountLineBreaks(std::string_view text) {
  return ForEachLineBreak(text, [](std::size_t) {});
}

} // namespace korvane
