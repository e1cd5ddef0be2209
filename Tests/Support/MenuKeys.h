#pragma once

#include <Qt>

#include <array>

// The keys that open a context menu from the keyboard.
struct MenuKey {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* note;
};
inline const std::array<MenuKey, 2> contextMenuKeys = {{
    {Qt::Key_Menu, Qt::NoModifier, "Menu key"},
    {Qt::Key_F10, Qt::ShiftModifier, "Shift+F10"},
}};
