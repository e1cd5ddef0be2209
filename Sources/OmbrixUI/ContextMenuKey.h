#pragma once

#include <QKeyEvent>

// Whether a key press asks for a context menu from the keyboard: the Menu key, or Shift+F10.
inline bool opensContextMenu(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return (event.key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
           (event.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}
