// Where the next Find Next starts: the search text of the previous press and
// the position just after its match. Kept free of Windows types so that the
// rules can be tested on any system.
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

/// The report control as the find command sees it. Positions are the
/// control's character positions.
class TFindTarget {
public:
  virtual ~TFindTarget() = default;
  virtual std::int32_t SelectionStart() const = 0;
  virtual std::int32_t SelectionLength() const = 0;
  virtual std::int32_t TextLength() const = 0;
  /// Position of the first match in [start, end), or -1.
  virtual std::int32_t Search(const std::string& text, std::int32_t start, std::int32_t end, bool matchCase,
                              bool wholeWord) = 0;
  /// Selects the range and scrolls it into view.
  virtual void Select(std::int32_t start, std::int32_t length) = 0;
};

class TFindState {
public:
  /// The Find command ran: the next Find Next starts a new search.
  void StartNewSearch() { FLastFindText.clear(); }

  /// One press of Find Next. Selects the match and returns true, or returns
  /// false when there is none; the caller tells the user and then calls
  /// RestartAtTop.
  bool FindNext(TFindTarget& target, const std::string& text, bool matchCase, bool wholeWord);

  void RestartAtTop() { FFindPos = 0; }

  std::int32_t FindPos() const { return FFindPos; }

private:
  std::string FLastFindText;
  std::int32_t FFindPos = 0;
};

} // namespace korvane
