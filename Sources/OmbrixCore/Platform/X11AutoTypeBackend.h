#pragma once

#include "OmbrixCore/Services/AutoTypeService.h"

#include <functional>
#include <memory>

class X11Connection;

// Auto-type on X11. The active window is the root window's _NET_ACTIVE_WINDOW when a window
// manager keeps it, else the top-level window holding the input focus; activation is the
// _NET_ACTIVE_WINDOW client message, or a raise and SetInputFocus without such a window manager.
// Key presses go out through XTEST; a character that no key of the current layout types is typed
// with a spare key code (one without keysyms) bound to its keysym for the run and unbound shortly
// after it, once the target has had time to read the key.

// Over X11Connection::shared(), looked up at every use: without an X11 display nothing can be
// typed and no window is active.
std::unique_ptr<AutoTypeService::Backend> createX11AutoTypeBackend();
// Over the connection that the function gives at every use (nullptr: no display).
std::unique_ptr<AutoTypeService::Backend> createX11AutoTypeBackend(
    std::function<X11Connection*()> connection);
