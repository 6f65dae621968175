// Shortcut codes of the viewer's actions: the low byte is the virtual-key
// code, 0x2000 adds Shift, 0x4000 Ctrl and 0x8000 Alt.
#pragma once

#include <cstdint>
#include <string>

namespace korvane::viewer {

inline constexpr std::uint16_t ShortCutShift = 0x2000;
inline constexpr std::uint16_t ShortCutCtrl = 0x4000;
inline constexpr std::uint16_t ShortCutAlt = 0x8000;

/// "Shift+", "Ctrl+", "Alt+" for the modifiers present, then the key's name:
/// "F7", "Esc", "C". Empty for no shortcut.
std::string ShortCutText(std::uint16_t shortCut);

/// The ACCEL flags of a shortcut: virtual key and no menu highlighting,
/// plus the modifiers.
std::uint8_t AcceleratorFlags(std::uint16_t shortCut);

} // namespace korvane::viewer
