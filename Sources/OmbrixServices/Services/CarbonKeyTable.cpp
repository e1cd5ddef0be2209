#include "OmbrixServices/Services/CarbonKeyTable.h"

#include <QStringList>

namespace {

struct KeyRow {
    std::uint32_t code;
    std::string_view xkbName;
    int qtKey;  // 0: no unshifted Qt key of its own
};

// Carbon's kVK_* codes (Events.h) against the XKB key names of the same physical keys.
constexpr KeyRow keyRows[] = {
    {0x00, "AC01", Qt::Key_A},
    {0x01, "AC02", Qt::Key_S},
    {0x02, "AC03", Qt::Key_D},
    {0x03, "AC04", Qt::Key_F},
    {0x04, "AC06", Qt::Key_H},
    {0x05, "AC05", Qt::Key_G},
    {0x06, "AB01", Qt::Key_Z},
    {0x07, "AB02", Qt::Key_X},
    {0x08, "AB03", Qt::Key_C},
    {0x09, "AB04", Qt::Key_V},
    {0x0A, "LSGT", 0},  // ISO section key: the extra key beside the left Shift
    {0x0B, "AB05", Qt::Key_B},
    {0x0C, "AD01", Qt::Key_Q},
    {0x0D, "AD02", Qt::Key_W},
    {0x0E, "AD03", Qt::Key_E},
    {0x0F, "AD04", Qt::Key_R},
    {0x10, "AD06", Qt::Key_Y},
    {0x11, "AD05", Qt::Key_T},
    {0x12, "AE01", Qt::Key_1},
    {0x13, "AE02", Qt::Key_2},
    {0x14, "AE03", Qt::Key_3},
    {0x15, "AE04", Qt::Key_4},
    {0x16, "AE06", Qt::Key_6},
    {0x17, "AE05", Qt::Key_5},
    {0x18, "AE12", Qt::Key_Equal},
    {0x19, "AE09", Qt::Key_9},
    {0x1A, "AE07", Qt::Key_7},
    {0x1B, "AE11", Qt::Key_Minus},
    {0x1C, "AE08", Qt::Key_8},
    {0x1D, "AE10", Qt::Key_0},
    {0x1E, "AD12", Qt::Key_BracketRight},
    {0x1F, "AD09", Qt::Key_O},
    {0x20, "AD07", Qt::Key_U},
    {0x21, "AD11", Qt::Key_BracketLeft},
    {0x22, "AD08", Qt::Key_I},
    {0x23, "AD10", Qt::Key_P},
    {0x24, "RTRN", Qt::Key_Return},
    {0x25, "AC09", Qt::Key_L},
    {0x26, "AC07", Qt::Key_J},
    {0x27, "AC11", Qt::Key_Apostrophe},
    {0x28, "AC08", Qt::Key_K},
    {0x29, "AC10", Qt::Key_Semicolon},
    {0x2A, "BKSL", Qt::Key_Backslash},
    {0x2B, "AB08", Qt::Key_Comma},
    {0x2C, "AB10", Qt::Key_Slash},
    {0x2D, "AB06", Qt::Key_N},
    {0x2E, "AB07", Qt::Key_M},
    {0x2F, "AB09", Qt::Key_Period},
    {0x30, "TAB", Qt::Key_Tab},
    {0x31, "SPCE", Qt::Key_Space},
    {0x32, "TLDE", Qt::Key_QuoteLeft},
    {0x33, "BKSP", Qt::Key_Backspace},
    {0x35, "ESC", Qt::Key_Escape},
    {0x36, "RCTL", 0},                // right Command
    {0x37, "LCTL", Qt::Key_Control},  // Command
    {0x38, "LFSH", Qt::Key_Shift},
    {0x39, "CAPS", Qt::Key_CapsLock},
    {0x3A, "LALT", Qt::Key_Alt},
    {0x3B, "LWIN", Qt::Key_Meta},  // Control
    {0x3C, "RTSH", 0},
    {0x3D, "RALT", 0},
    {0x3E, "RWIN", 0},  // right Control
    {0x40, "FK17", Qt::Key_F17},
    {0x41, "KPDL", 0},
    {0x43, "KPMU", 0},
    {0x45, "KPAD", 0},
    {0x47, "NMLK", Qt::Key_NumLock},  // keypad Clear sits where Num Lock is
    {0x48, "VOL+", Qt::Key_VolumeUp},
    {0x49, "VOL-", Qt::Key_VolumeDown},
    {0x4A, "MUTE", Qt::Key_VolumeMute},
    {0x4B, "KPDV", 0},
    {0x4C, "KPEN", Qt::Key_Enter},
    {0x4E, "KPSU", 0},
    {0x4F, "FK18", Qt::Key_F18},
    {0x50, "FK19", Qt::Key_F19},
    {0x51, "KPEQ", 0},
    {0x52, "KP0", 0},
    {0x53, "KP1", 0},
    {0x54, "KP2", 0},
    {0x55, "KP3", 0},
    {0x56, "KP4", 0},
    {0x57, "KP5", 0},
    {0x58, "KP6", 0},
    {0x59, "KP7", 0},
    {0x5A, "FK20", Qt::Key_F20},
    {0x5B, "KP8", 0},
    {0x5C, "KP9", 0},
    {0x5D, "AE13", Qt::Key_yen},  // JIS Yen
    {0x5E, "AB11", 0},            // JIS underscore
    {0x60, "FK05", Qt::Key_F5},
    {0x61, "FK06", Qt::Key_F6},
    {0x62, "FK07", Qt::Key_F7},
    {0x63, "FK03", Qt::Key_F3},
    {0x64, "FK08", Qt::Key_F8},
    {0x65, "FK09", Qt::Key_F9},
    {0x67, "FK11", Qt::Key_F11},
    {0x69, "FK13", Qt::Key_F13},
    {0x6A, "FK16", Qt::Key_F16},
    {0x6B, "FK14", Qt::Key_F14},
    {0x6D, "FK10", Qt::Key_F10},
    {0x6E, "COMP", Qt::Key_Menu},
    {0x6F, "FK12", Qt::Key_F12},
    {0x71, "FK15", Qt::Key_F15},
    {0x72, "INS", Qt::Key_Insert},  // Help sits where Insert is
    {0x73, "HOME", Qt::Key_Home},
    {0x74, "PGUP", Qt::Key_PageUp},
    {0x75, "DELE", Qt::Key_Delete},
    {0x76, "FK04", Qt::Key_F4},
    {0x77, "END", Qt::Key_End},
    {0x78, "FK02", Qt::Key_F2},
    {0x79, "PGDN", Qt::Key_PageDown},
    {0x7A, "FK01", Qt::Key_F1},
    {0x7B, "LEFT", Qt::Key_Left},
    {0x7C, "RGHT", Qt::Key_Right},
    {0x7D, "DOWN", Qt::Key_Down},
    {0x7E, "UP", Qt::Key_Up},
};

struct Alias {
    std::string_view alias;
    std::string_view name;
};

// Other names the XKB keycode files give the same keys.
constexpr Alias aliases[] = {
    {"AC12", "BKSL"}, {"MENU", "COMP"}, {"LMTA", "LWIN"}, {"RMTA", "RWIN"}, {"HZTG", "TLDE"},
};

}  // namespace

namespace CarbonKeyTable {

QString describe(std::uint32_t carbonMask, const QString& keyName) {
    const Modifiers m = modifiers(carbonMask);
    QStringList parts;
    if (m.ctrl) parts << QStringLiteral("Ctrl");
    if (m.alt) parts << QStringLiteral("Alt");
    if (m.shift) parts << QStringLiteral("Shift");
    if (m.super) parts << QStringLiteral("Super");
    parts << keyName;
    return parts.join(QLatin1Char('+'));
}

Modifiers modifiers(std::uint32_t carbonMask) {
    return Modifiers{
        .ctrl = (carbonMask & commandKey) != 0,
        .alt = (carbonMask & optionKey) != 0,
        .shift = (carbonMask & shiftKey) != 0,
        .super = (carbonMask & controlKey) != 0,
    };
}

std::uint32_t carbonMask(Modifiers modifiers) {
    std::uint32_t mask = 0;
    if (modifiers.ctrl) mask |= commandKey;
    if (modifiers.alt) mask |= optionKey;
    if (modifiers.shift) mask |= shiftKey;
    if (modifiers.super) mask |= controlKey;
    return mask;
}

Qt::KeyboardModifiers qtModifiers(std::uint32_t carbonMask) {
    const Modifiers m = modifiers(carbonMask);
    Qt::KeyboardModifiers result;
    if (m.ctrl) result |= Qt::ControlModifier;
    if (m.alt) result |= Qt::AltModifier;
    if (m.shift) result |= Qt::ShiftModifier;
    if (m.super) result |= Qt::MetaModifier;
    return result;
}

std::uint32_t carbonMask(Qt::KeyboardModifiers modifiers) {
    return carbonMask(Modifiers{
        .ctrl = modifiers.testFlag(Qt::ControlModifier),
        .alt = modifiers.testFlag(Qt::AltModifier),
        .shift = modifiers.testFlag(Qt::ShiftModifier),
        .super = modifiers.testFlag(Qt::MetaModifier),
    });
}

std::optional<std::string_view> xkbName(std::uint32_t carbonCode) {
    for (const KeyRow& row : keyRows) {
        if (row.code == carbonCode) return row.xkbName;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> carbonCode(std::string_view xkbName) {
    for (const Alias& a : aliases) {
        if (a.alias == xkbName) {
            xkbName = a.name;
            break;
        }
    }
    for (const KeyRow& row : keyRows) {
        if (row.xkbName == xkbName) return row.code;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> carbonCode(Qt::Key key) {
    if (key == 0) return std::nullopt;
    for (const KeyRow& row : keyRows) {
        if (row.qtKey == key) return row.code;
    }
    return std::nullopt;
}

}  // namespace CarbonKeyTable
