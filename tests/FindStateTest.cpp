// Where each Find Next starts and what it selects.
#include <gtest/gtest.h>

#include <cctype>
#include <vector>

#include "FindState.h"

namespace korvane {
namespace {

// A plain-text stand-in for the report control, with its search rules:
// forward only, optional case, whole word = not inside a run of letters,
// digits or underscores.
class TTextTarget final : public TFindTarget {
public:
  explicit TTextTarget(std::string text) : FText(std::move(text)) {}

  std::int32_t SelectionStart() const override { return FStart; }
  std::int32_t SelectionLength() const override { return FLength; }
  std::int32_t TextLength() const override { return static_cast<std::int32_t>(FText.size()); }
  std::int32_t Search(const std::string& text, std::int32_t start, std::int32_t end, bool matchCase,
                      bool wholeWord) override {
    for (std::int32_t p = start; p + static_cast<std::int32_t>(text.size()) <= end; ++p) {
      bool equal = true;
      for (std::size_t i = 0; i < text.size() && equal; ++i) {
        const char a = FText[static_cast<std::size_t>(p) + i];
        const char b = text[i];
        equal = matchCase ? a == b
                          : std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
      }
      if (equal && wholeWord && (IsWordChar(p - 1) || IsWordChar(p + static_cast<std::int32_t>(text.size()))))
        equal = false;
      if (equal)
        return p;
    }
    return -1;
  }
  void Select(std::int32_t start, std::int32_t length) override {
    FStart = start;
    FLength = length;
    Selections.push_back(start);
  }

  void SetText(std::string text) { FText = std::move(text); }
  std::vector<std::int32_t> Selections;
  std::int32_t FStart = 0;
  std::int32_t FLength = 0;

private:
  bool IsWordChar(std::int32_t p) const {
    if (p < 0 || p >= TextLength())
      return false;
    const auto c = static_cast<unsigned char>(FText[static_cast<std::size_t>(p)]);
    return std::isalnum(c) || c == '_';
  }
  std::string FText;
};

// Presses Find Next count times; -1 stands for the not-found box.
std::vector<std::int32_t> Press(TFindState& state, TTextTarget& target, const std::string& text, int count,
                                bool matchCase = false, bool wholeWord = false) {
  std::vector<std::int32_t> results;
  for (int i = 0; i < count; ++i) {
    if (state.FindNext(target, text, matchCase, wholeWord)) {
      results.push_back(target.FStart);
    } else {
      results.push_back(-1);
      state.RestartAtTop();
    }
  }
  return results;
}

TEST(FindOrder, EveryMatchThenNotFoundOnceThenFirstAgain) {
  TTextTarget target("ab ab\r\nab");
  TFindState state;
  EXPECT_EQ(Press(state, target, "ab", 5), (std::vector<std::int32_t>{0, 3, 7, -1, 0}));
}

TEST(FindOrder, MatchesDoNotOverlap) {
  TTextTarget target("xxx");
  TFindState state;
  EXPECT_EQ(Press(state, target, "xx", 3), (std::vector<std::int32_t>{0, -1, 0}));
}

TEST(FindOptions, CaseAndWholeWord) {
  struct TCase {
    const char* Name;
    const char* Text;
    bool MatchCase;
    bool WholeWord;
    std::int32_t First;
  };
  const TCase cases[] = {
      {"case off finds the heading", "exports", false, false, 0},
      {"case on passes over the heading", "exports", true, false, 8},
      {"whole word skips a word's beginning", "Ord", false, true, -1},
      {"whole word finds the word", "Ordinal", false, true, 16},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTextTarget target("Exports exports Ordinal\tFunction");
    TFindState state;
    EXPECT_EQ(Press(state, target, c.Text, 1, c.MatchCase, c.WholeWord).front(), c.First);
    if (c.First >= 0) {
      EXPECT_EQ(target.FLength, static_cast<std::int32_t>(std::string(c.Text).size()));
    }
  }
}

TEST(FindStart, NewTextStartsAtSelectionEndSameTextIgnoresTheSelection) {
  TTextTarget target("one two one two one");
  TFindState state;
  EXPECT_EQ(Press(state, target, "one", 1).front(), 0);
  EXPECT_EQ(Press(state, target, "two", 1).front(), 4); // new text: after the selected "one"

  target.FStart = 0; // the user moves the caret to the top
  target.FLength = 0;
  EXPECT_EQ(Press(state, target, "two", 1).front(), 12); // same text: continues

  target.FStart = 0;
  target.FLength = 0;
  EXPECT_EQ(Press(state, target, "one", 1).front(), 0); // new text, nothing selected: the top
}

TEST(FindStart, FindCommandStartsAFreshSearchEvenAfterNotFound) {
  TTextTarget target("aa bb aa");
  TFindState state;
  EXPECT_EQ(Press(state, target, "bb", 2), (std::vector<std::int32_t>{3, -1}));
  target.FStart = 6;
  target.FLength = 2;
  state.StartNewSearch();
  EXPECT_EQ(Press(state, target, "bb", 1).front(), -1); // starts after the selection at 6
  EXPECT_EQ(Press(state, target, "bb", 1).front(), 3);
}

TEST(FindStart, PositionBeyondAShorterReportIsNotFoundAndRestarts) {
  TTextTarget target("long report with a word near the end: word");
  TFindState state;
  EXPECT_EQ(Press(state, target, "word", 2), (std::vector<std::int32_t>{19, 38}));
  target.SetText("word");
  target.Selections.clear();
  EXPECT_EQ(Press(state, target, "word", 2), (std::vector<std::int32_t>{-1, 0}));
  EXPECT_EQ(state.FindPos(), 4);
}

} // namespace
} // namespace korvane
