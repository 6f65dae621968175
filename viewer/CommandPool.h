// Command ids of menu items: the lowest number that no live menu item of the
// module holds, taken when the item is made and given back when it goes.
#pragma once

#include <cstdint>

namespace korvane::viewer {

class TCommandId {
public:
  TCommandId();
  ~TCommandId();
  TCommandId(const TCommandId&) = delete;
  TCommandId& operator=(const TCommandId&) = delete;

  std::uint16_t Value() const { return FValue; }

private:
  std::uint16_t FValue;
};

} // namespace korvane::viewer
