// Where the next Find Next starts.
#include "FindState.h"

namespace korvane {

bool TFindState::FindNext(TFindTarget& target, const std::string& text, bool matchCase, bool wholeWord) {
  if (text != FLastFindText) {
    // A new text starts after the current selection; the selection is not
    // consulted again while the text stays the same.
    const std::int32_t length = target.SelectionLength();
    FFindPos = length > 0 ? target.SelectionStart() + length : 0;
    FLastFindText = text;
  }
  const std::int32_t end = target.TextLength();
  // A start beyond the end (a shorter report replaced the one searched) is a
  // range that holds nothing.
  const std::int32_t found = FFindPos <= end ? target.Search(text, FFindPos, end, matchCase, wholeWord) : -1;
  FFindPos = found;
  if (found < 0)
    return false;
  const auto length = static_cast<std::int32_t>(text.size());
  target.Select(found, length);
  FFindPos = found + length;
  return true;
}

} // namespace korvane
