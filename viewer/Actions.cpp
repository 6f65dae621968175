// The menu, tool bar and accelerator table made from the viewer's actions.
#include "Actions.h"

#include <commctrl.h>

#include "Application.h"
#include "Errors.h"
#include "OsError.h"
#include "ShortCut.h"

namespace korvane::viewer {

namespace {

constexpr int ToolBarWidth = 124;
constexpr int ToolBarHeight = 24;

} // namespace

std::string TMenuItem::Text() const {
  std::string text = Action != nullptr ? Action->Caption : Caption;
  const std::string shortCut = ShortCutText(ShortCut());
  if (!shortCut.empty())
    text += "\t" + shortCut;
  return text;
}

TMenu CreateMainMenu(TMenuItems top) {
  TMenu menu(Checked(::CreateMenu(), "The viewer's menu"));
  for (const TMenuItem* heading : top) {
    TMenu popup(Checked(::CreatePopupMenu(), "The viewer's menu"));
    for (const TMenuItem* item : heading->Items) {
      const UINT flags = item->IsSeparator() ? MF_SEPARATOR : MF_STRING;
      if (!::AppendMenuA(popup.Get(), flags, item->Command(), item->Text().c_str()))
        throw LastOsError("The viewer's menu");
    }
    if (!::AppendMenuA(menu.Get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup.Get()),
                       heading->Text().c_str()))
      throw LastOsError("The viewer's menu");
    popup.Release(); // now destroyed with the menu bar
  }
  return menu;
}

const TAction* FindAction(TMenuItems items, std::uint16_t command) {
  for (const TMenuItem* item : items) {
    if (item->Command() == command)
      return item->Action;
    if (const TAction* found = FindAction(item->Items, command))
      return found;
  }
  return nullptr;
}

std::uint16_t ActionCommand(TMenuItems items, const TAction* action) {
  for (const TMenuItem* item : items) {
    if (item->Action == action)
      return item->Command();
    if (const std::uint16_t found = ActionCommand(item->Items, action); found != 0)
      return found;
  }
  return 0;
}

namespace {

void AddAccelerators(TMenuItems items, std::vector<ACCEL>& entries) {
  for (const TMenuItem* item : items) {
    if (const std::uint16_t shortCut = item->ShortCut(); shortCut != 0)
      entries.push_back(ACCEL{AcceleratorFlags(shortCut), static_cast<WORD>(shortCut & 0xFF), item->Command()});
    else
      AddAccelerators(item->Items, entries);
  }
}

} // namespace

HACCEL CreateAccelerators(TMenuItems items) {
  std::vector<ACCEL> entries;
  AddAccelerators(items, entries);
  if (entries.empty())
    return nullptr;
  return Checked(::CreateAcceleratorTableA(entries.data(), static_cast<int>(entries.size())), "The accelerator table");
}

TWindow CreateToolBar(HWND parent, int controlId, HIMAGELIST glyphs, std::span<const TToolButton> buttons,
                      TMenuItems menu, HWND sink) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  TWindow toolBar(
      Checked(::CreateWindowExA(0, TOOLBARCLASSNAMEA, "ToolBar1",
                                WS_CHILD | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | TBSTYLE_WRAPABLE | CCS_NORESIZE |
                                    CCS_NOPARENTALIGN | CCS_NODIVIDER,
                                0, 0, ToolBarWidth, ToolBarHeight, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), ModuleInstance(), nullptr),
              "The tool bar"));
  const HWND bar = toolBar.Get();
  ::SendMessageA(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageA(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(16, 16));
  ::SendMessageA(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(glyphs));
  ::SendMessageA(bar, TB_SETBUTTONSIZE, 0, MAKELPARAM(23, 22));
  std::vector<TBBUTTON> added;
  for (const TToolButton& button : buttons) {
    TBBUTTON entry{};
    if (button.Action == nullptr) {
      entry.iBitmap = button.Width; // a separator's bitmap index is its width
      entry.fsStyle = BTNS_SEP;
    } else {
      entry.iBitmap = button.Action->ImageIndex;
      entry.idCommand = ActionCommand(menu, button.Action);
      entry.fsState = TBSTATE_ENABLED;
      entry.fsStyle = BTNS_BUTTON;
    }
    added.push_back(entry);
  }
  if (!::SendMessageA(bar, TB_ADDBUTTONSA, added.size(), reinterpret_cast<LPARAM>(added.data())))
    throw TKorvaneError("The tool bar's buttons cannot be added");
  // Clicks and hint requests come to a window of ours, wherever the bar lives.
  ::SendMessageA(bar, TB_SETPARENT, reinterpret_cast<WPARAM>(sink), 0);
  return toolBar;
}

} // namespace korvane::viewer
