#pragma once

#include <QString>
#include <Qt>

#include <cstdint>
#include <optional>

class QKeyEvent;

// Turns key events into the stored form of the global hot key (a Carbon key code and modifier
// mask, see CarbonKeyTable) and shows a stored combination to the user.
namespace HotKeyFormatter {

// The Carbon mask of Qt's modifiers: Ctrl → Command 0x100, Alt → Option 0x800,
// Shift → Shift 0x200, Meta (Super) → Control 0x1000. Keypad and group-switch (AltGr) flags
// add nothing.
std::uint32_t carbonModifiers(Qt::KeyboardModifiers modifiers);

// The Carbon key code of the key that `event` reports. Where the hot-key service can tell the
// physical key from the event's native key code (X11), that key, whatever Shift or the layout
// made it type; elsewhere, or for a key the keymap does not name, the unshifted Qt key is
// mapped. None for keys without a Carbon code.
std::optional<std::uint32_t> carbonKeyCode(const QKeyEvent& event);

// The combination as Linux users read it, e.g. "Ctrl+Alt+A" or "Ctrl+Shift+Boşluk": the
// modifiers in words, the key by its position's legend on a US keyboard whatever the layout.
QString describe(std::uint32_t keyCode, std::uint32_t modifiers);

}  // namespace HotKeyFormatter
