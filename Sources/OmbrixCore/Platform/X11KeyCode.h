#pragma once

#include <cstdint>
#include <optional>

// The Carbon key code of an X11 key code (what QKeyEvent::nativeScanCode() holds on Qt's xcb
// platform): the key's XKB name in the server's current keymap, looked up in CarbonKeyTable.
// This names the physical key whatever the layout or Shift makes it type, which is what the
// hot-key grab needs. None without an X11 display, for key codes outside 8...255, for codes the
// keymap leaves unnamed and for keys without a Carbon code.
std::optional<std::uint32_t> carbonKeyCodeOfX11KeyCode(std::uint32_t x11KeyCode);
