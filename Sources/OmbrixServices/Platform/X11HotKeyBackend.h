#pragma once

#include "OmbrixServices/Services/HotKeyService.h"

#include <functional>
#include <memory>

class X11Connection;

// The global hot key on X11: a passive grab of the key on the root window, once for each state
// of Caps Lock, Num Lock and Scroll Lock (where the keymap gives it a modifier), so that the
// locks do not stop the combination, and while another modifier is locked (Shift Lock), once more
// with it. A state that another client holds already is refused by the server (BadAccess); the
// others are kept, and the grant says which were refused, also those with Shift Lock once it is
// locked. Auto-repeat presses of a held combination are dropped.

// Over X11Connection::shared(), looked up at every grab: without an X11 display the hot key
// simply stays unregistered.
std::unique_ptr<HotKeyService::Backend> createX11HotKeyBackend();
// Over the connection that the function gives at every grab (nullptr: no display).
std::unique_ptr<HotKeyService::Backend> createX11HotKeyBackend(std::function<X11Connection*()> connection);
