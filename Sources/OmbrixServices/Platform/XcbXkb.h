#pragma once

// xcb's XKB header names a struct member "explicit", a C++ keyword; every C++ user of the
// header renames it the same way. Include this instead of <xcb/xkb.h>. Clang warns about any
// macro named like a keyword; here that is the point.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
