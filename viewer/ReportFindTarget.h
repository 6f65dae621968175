// The report control as the find rules see it.
#pragma once

#include <windows.h>
#include <richedit.h>

#include <string>

#include "FindState.h"

namespace korvane::viewer {

/// Positions are those of the control's selection and search, which count a
/// line break as two characters, as its text length does.
class TReportFindTarget final : public TFindTarget {
public:
  explicit TReportFindTarget(HWND edit) : FEdit(edit) {}

  std::int32_t SelectionStart() const override { return Selection().cpMin; }
  std::int32_t SelectionLength() const override;
  std::int32_t TextLength() const override;
  std::int32_t Search(const std::string& text, std::int32_t start, std::int32_t end, bool matchCase,
                      bool wholeWord) override;
  void Select(std::int32_t start, std::int32_t length) override;

private:
  CHARRANGE Selection() const;

  HWND FEdit;
};

} // namespace korvane::viewer
