// The viewer's commands as actions, and the menu, tool bar and accelerator
// table made from them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "CommandPool.h"
#include "Handles.h"
#include "ShortCut.h"

namespace korvane::viewer {

class TKorvaneFrame;

/// A command: what its menu items and tool buttons show, its handler, and
/// the command id that its menu items, tool buttons and accelerators carry.
struct TAction {
  const char* Caption;  // "&" marks the mnemonic
  const char* Hint;     // nullptr: none
  int ImageIndex;       // -1: none
  std::uint16_t ShortCut;  // a shortcut code of ShortCut.h; 0: none
  void (TKorvaneFrame::*Execute)();
  TCommandId Command{};
};

/// One item of a menu. A separator's caption is "-".
class TMenuItem {
public:
  explicit TMenuItem(const char* caption, const TAction* action = nullptr) : Caption(caption), Action(action) {}

  /// The caption, and for an item with a shortcut a TAB and the shortcut's name.
  std::string Text() const;
  std::uint16_t ShortCut() const { return Action != nullptr ? Action->ShortCut : 0; }
  bool IsSeparator() const { return Caption == "-"; }
  /// The action's command id; 0 for an item without an action.
  std::uint16_t Command() const { return Action != nullptr ? Action->Command.Value() : 0; }

  std::string Caption;
  const TAction* Action;
  std::vector<const TMenuItem*> Items;
};

/// A tool button bound to an action, or a separator (no action) of Width pixels.
struct TToolButton {
  const TAction* Action;
  int Width;
};

using TMenuItems = std::span<const TMenuItem* const>;

/// A menu bar of the top items, each with a popup of its items.
TMenu CreateMainMenu(TMenuItems top);
/// The action with that command id, or nullptr; none has 0.
const TAction* FindAction(std::span<const TAction* const> actions, std::uint16_t command);
/// An accelerator table from the shortcuts of the items: an item with a
/// shortcut gives an entry, one without has its items walked. nullptr when no
/// item has a shortcut; the caller owns the table.
HACCEL CreateAccelerators(TMenuItems items);

/// A flat tool bar child of parent with the buttons, each carrying its
/// action's command id. The bar sends its clicks and hint requests to sink.
TWindow CreateToolBar(HWND parent, int controlId, HIMAGELIST glyphs, std::span<const TToolButton> buttons, HWND sink);

} // namespace korvane::viewer
