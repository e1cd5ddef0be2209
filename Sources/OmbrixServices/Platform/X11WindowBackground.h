#pragma once

#include <QColor>

#include <cstdint>

// What the X server fills a window's new area with when the window grows, before the program has
// drawn there. Qt leaves it unset, and the server then shows whatever lay below the window (with a
// window manager, often its frame's plain white) until the program draws.
namespace X11WindowBackground {

// Makes `color` the background of the native window `window`. False, changing nothing, without an
// X11 display or when the server refuses.
bool set(std::uint32_t window, const QColor& color);

}  // namespace X11WindowBackground
