#pragma once

#include <QString>
#include <Qt>

#include <cstdint>
#include <optional>
#include <string_view>

// The hot key is stored as a Carbon virtual key code and modifier mask, so that the stored
// preferences keep their meaning. This table is the one place that translates them to what
// X11 and Qt use here.
//
// Keys are named by their XKB key name (the physical position: "AC01" is the key labelled A on
// a US keyboard), so a code means the same key whatever layout is active.
//
// Modifiers follow Qt on macOS: Command is Ctrl, Option is Alt, Control is Super (Qt's Meta),
// Shift is Shift. The physical Command and Control keys (55, 59, 54, 62) swap the same way, so a
// Command stroke becomes a Ctrl stroke (select-all is Ctrl+A).
namespace CarbonKeyTable {

inline constexpr std::uint32_t commandKey = 0x100;
inline constexpr std::uint32_t shiftKey = 0x200;
inline constexpr std::uint32_t optionKey = 0x800;
inline constexpr std::uint32_t controlKey = 0x1000;

// The Linux modifiers of a Carbon mask. Carbon bits other than the four above are ignored.
struct Modifiers {
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    bool super = false;

    bool operator==(const Modifiers&) const = default;
};

Modifiers modifiers(std::uint32_t carbonMask);
std::uint32_t carbonMask(Modifiers modifiers);

Qt::KeyboardModifiers qtModifiers(std::uint32_t carbonMask);

// A combination as Linux users read it: the modifiers of the mask in words, in the order
// Ctrl, Alt, Shift, Super, then the key's name, joined by "+" ("Ctrl+Alt+A").
QString describe(std::uint32_t carbonMask, const QString& keyName);
std::uint32_t carbonMask(Qt::KeyboardModifiers modifiers);

// XKB key name of a Carbon key code ("AC01" for 0); none for codes without a key here.
std::optional<std::string_view> xkbName(std::uint32_t carbonCode);

// Carbon key code of an XKB key name (the usual aliases included); none when the key has no code.
std::optional<std::uint32_t> carbonCode(std::string_view xkbName);

// Carbon key code of an unshifted Qt key (Qt::Key_A, Qt::Key_F5, Qt::Key_Left, ...). Shifted
// symbols (Qt::Key_Exclam) depend on the layout and have none; use the key's XKB name for those.
std::optional<std::uint32_t> carbonCode(Qt::Key key);

}  // namespace CarbonKeyTable
