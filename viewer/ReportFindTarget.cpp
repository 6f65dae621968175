// The find rules' view of the report control: its selection, its text
// length and EM_FINDTEXT.
#include "ReportFindTarget.h"

namespace korvane::viewer {

namespace {

// EM_FINDTEXT options of the rich edit control (the mingw headers lack the names).
constexpr WPARAM FindMatchCase = 4; // FT_MATCHCASE
constexpr WPARAM FindWholeWord = 2; // FT_WHOLEWORD

} // namespace

std::int32_t TReportFindTarget::SelectionLength() const {
  const CHARRANGE range = Selection();
  return range.cpMax - range.cpMin;
}

std::int32_t TReportFindTarget::TextLength() const {
  return static_cast<std::int32_t>(::SendMessageA(FEdit, WM_GETTEXTLENGTH, 0, 0));
}

std::int32_t TReportFindTarget::Search(const std::string& text, std::int32_t start, std::int32_t end, bool matchCase,
                                       bool wholeWord) {
  FINDTEXTA find{};
  find.chrg.cpMin = start;
  find.chrg.cpMax = end;
  find.lpstrText = text.c_str();
  const WPARAM options = (matchCase ? FindMatchCase : 0) | (wholeWord ? FindWholeWord : 0);
  return static_cast<std::int32_t>(::SendMessageA(FEdit, EM_FINDTEXT, options, reinterpret_cast<LPARAM>(&find)));
}

void TReportFindTarget::Select(std::int32_t start, std::int32_t length) {
  CHARRANGE range{start, start + length};
  ::SendMessageA(FEdit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  ::SendMessageA(FEdit, EM_SCROLLCARET, 0, 0);
}

CHARRANGE TReportFindTarget::Selection() const {
  CHARRANGE range{};
  ::SendMessageA(FEdit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  return range;
}

} // namespace korvane::viewer
