// Command ids of menu items, shared by every viewer of the module.
#include "CommandPool.h"

#include <vector>

#include "Errors.h"

namespace korvane::viewer {

namespace {

// Index i is true while id i + 1 is held. Id 0 is never handed out: a
// WM_COMMAND with id 0 is what many controls send without meaning a command.
std::vector<bool>& HeldIds() {
  static std::vector<bool> held;
  return held;
}

constexpr std::size_t MaxIds = 0xFFFF;

} // namespace

TCommandId::TCommandId() {
  std::vector<bool>& held = HeldIds();
  std::size_t index = 0;
  while (index < held.size() && held[index])
    ++index;
  if (index >= MaxIds)
    throw TKorvaneError("No free menu command id is left");
  if (index == held.size())
    held.push_back(true);
  else
    held[index] = true;
  FValue = static_cast<std::uint16_t>(index + 1);
}

TCommandId::~TCommandId() { HeldIds()[FValue - 1u] = false; }

} // namespace korvane::viewer
