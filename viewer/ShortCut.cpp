// Shortcut names and accelerator flags.
#include "ShortCut.h"

#include <windows.h>

namespace korvane::viewer {

namespace {

std::string KeyName(std::uint8_t key) {
  if (key >= VK_F1 && key <= VK_F24)
    return "F" + std::to_string(key - VK_F1 + 1);
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
    return std::string(1, static_cast<char>(key));
  switch (key) {
  case VK_ESCAPE:
    return "Esc";
  case VK_RETURN:
    return "Enter";
  case VK_SPACE:
    return "Space";
  case VK_TAB:
    return "Tab";
  case VK_DELETE:
    return "Del";
  case VK_INSERT:
    return "Ins";
  default:
    return {};
  }
}

} // namespace

std::string ShortCutText(std::uint16_t shortCut) {
  const auto key = static_cast<std::uint8_t>(shortCut & 0xFF);
  if (key == 0)
    return {};
  std::string text;
  if (shortCut & ShortCutShift)
    text += "Shift+";
  if (shortCut & ShortCutCtrl)
    text += "Ctrl+";
  if (shortCut & ShortCutAlt)
    text += "Alt+";
  return text + KeyName(key);
}

std::uint8_t AcceleratorFlags(std::uint16_t shortCut) {
  unsigned flags = FVIRTKEY | FNOINVERT;
  if (shortCut & ShortCutCtrl)
    flags |= FCONTROL;
  if (shortCut & ShortCutShift)
    flags |= FSHIFT;
  if (shortCut & ShortCutAlt)
    flags |= FALT;
  return static_cast<std::uint8_t>(flags);
}

} // namespace korvane::viewer
