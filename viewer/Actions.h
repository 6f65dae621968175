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

/// A command: what its menu items and tool buttons show, and its handler. Its
/// command id is the one its menu item took; its tool buttons carry it too.
struct TAction {
  const char* Caption;    // "&" marks the mnemonic
  const char* Hint;       // nullptr: none
  int ImageIndex;         // -1: none
  std::uint16_t ShortCut; // a shortcut code of ShortCut.h; 0: none
  void (TKorvaneFrame::*Execute)();
};

/// One item of a menu. A separator's caption is "-".
class TMenuItem {
public:
  explicit TMenuItem(const char* caption, const TAction* action = nullptr) : Caption(caption), Action(action) {}

  /// The caption, and for an item with a shortcut a TAB and the shortcut's name.
  std::string Text() const;
  std::uint16_t ShortCut() const { return Action != nullptr ? Action->ShortCut : 0; }
  bool IsSeparator() const { return Caption == "-"; }
  std::uint16_t Command() const { return FCommand.Value(); }

  std::string Caption;
  const TAction* Action;
  std::vector<const TMenuItem*> Items;

private:
  TCommandId FCommand;
};

/// A tool button bound to an action, or a separator (no action) of Width pixels.
struct TToolButton {
  const TAction* Action;
  int Width;
};

using TMenuItems = std::span<const TMenuItem* const>;

/// A menu bar of the top items, each with a popup of its items.
TMenu CreateMainMenu(TMenuItems top);
/// The action of the item with that command id anywhere in the tree, or nullptr.
const TAction* FindAction(TMenuItems items, std::uint16_t command);
/// The command id of the first item of the tree that shows the action, or 0.
std::uint16_t ActionCommand(TMenuItems items, const TAction* action);
/// An accelerator table from the shortcuts of the items: an item with a
/// shortcut gives an entry, one without has its items walked. nullptr when no
/// item has a shortcut; the caller owns the table.
HACCEL CreateAccelerators(TMenuItems items);

/// A flat tool bar child of parent with the buttons, each carrying its
/// action's command id in menu. The bar sends its clicks and hint requests to
/// sink.
TWindow CreateToolBar(HWND parent, int controlId, HIMAGELIST glyphs, std::span<const TToolButton> buttons,
                      TMenuItems menu, HWND sink);

} // namespace korvane::viewer
