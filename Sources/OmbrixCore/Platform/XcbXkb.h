#pragma once

// xcb's XKB header names a struct member "explicit", a C++ keyword; every C++ user of the
// header renames it the same way. Include this instead of <xcb/xkb.h>.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
