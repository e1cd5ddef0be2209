#pragma once

#include "OmbrixServices/Services/AutoTypeService.h"

#include <functional>
#include <memory>

class X11Connection;

// Auto-type on X11. The active window is the root window's _NET_ACTIVE_WINDOW when a window
// manager keeps it, else the top-level window holding the input focus; activation is the
// _NET_ACTIVE_WINDOW client message, or a raise and SetInputFocus without such a window manager.
// Key presses go out through XTEST, each with the server grabbed for the instant of its checks:
// the X server's input focus (where XTEST key events go) must lie in the target, no key of the
// user may be down, and no other program may hold the keyboard, which shows in the focus notices
// the server sends the target's windows while a run types (and in a grab of our own for an
// instant when it starts). A character that no key of the current layout types is typed with a
// spare key code (one without keysyms) bound to its keysym; a spare code keeps its keysym for a
// while after its last press, before it is given another or none, because a client decodes a
// key with the key map as it finds it when it reads the key, which may be long after the press.

// Over X11Connection::shared(), looked up at every use: without an X11 display nothing can be
// typed and no window is active.
std::unique_ptr<AutoTypeService::Backend> createX11AutoTypeBackend();
// Over the connection that the function gives at every use (nullptr: no display).
std::unique_ptr<AutoTypeService::Backend> createX11AutoTypeBackend(
    std::function<X11Connection*()> connection);
