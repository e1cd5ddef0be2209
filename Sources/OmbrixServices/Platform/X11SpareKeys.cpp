#include "OmbrixServices/Platform/X11SpareKeys.h"

#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/XcbReply.h"

#include <algorithm>
#include <cstddef>

using std::chrono::milliseconds;

std::set<xkb_keycode_t> X11SpareKeys::boundKeycodes() const {
    std::set<xkb_keycode_t> codes;
    for (const Binding& b : bound_) codes.insert(b.keycode);
    return codes;
}

// Key codes without any keysym in the core mapping; read at the first binding of a run.
void X11SpareKeys::readSparePool(X11Connection& c) {
    pool_.clear();
    const xcb_setup_t* setup = xcb_get_setup(c.xcb());
    const int count = setup->max_keycode - setup->min_keycode + 1;
    XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        c.xcb(), xcb_get_keyboard_mapping(c.xcb(), setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr));
    if (!mapping || mapping->keysyms_per_keycode == 0) return;
    symsPerKeycode_ = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    for (int key = 0; (key + 1) * symsPerKeycode_ <= length; ++key) {
        const xcb_keysym_t* first = syms + key * symsPerKeycode_;
        if (std::all_of(first, first + symsPerKeycode_, [](xcb_keysym_t s) { return s == XCB_NONE; })) {
            pool_.push_back(static_cast<xcb_keycode_t>(setup->min_keycode + key));
        }
    }
    poolRead_ = true;
}

// A spare key code that types the keysym: one already bound to it, a free one, or else, as a
// last resort, the one pressed longest ago, once it has kept its keysym long enough after
// that press (see spareKeyMeaningKept); until then, how long to wait. Distinct characters get
// distinct keys while there are enough. Keys in `inUse` hold code points of the character
// being prepared, not yet typed: rebinding one would type the wrong code point, so when only
// those are left there is no key.
X11SpareKeys::SpareKey X11SpareKeys::bind(X11Connection& c, xkb_keysym_t keysym,
                                          const std::set<xcb_keycode_t>& inUse) {
    const Clock::time_point now = Clock::now();
    for (auto b = bound_.begin(); b != bound_.end(); ++b) {
        if (b->keysym != keysym) continue;
        // Another program may have rebound it meanwhile; then it is no longer ours.
        if (mappedKeysym(c, b->keycode) == keysym) {
            b->lastUse = now;
            return {b->keycode};
        }
        bound_.erase(b);
        break;
    }
    if (!poolRead_) readSparePool(c);
    if (symsPerKeycode_ < 2) return {};
    std::optional<xcb_keycode_t> keycode;
    for (xcb_keycode_t candidate : pool_) {
        const bool taken = std::any_of(bound_.begin(), bound_.end(),
                                       [candidate](const Binding& b) { return b.keycode == candidate; });
        if (!taken) {
            keycode = candidate;
            break;
        }
    }
    std::optional<std::ptrdiff_t> evicted;
    if (!keycode) {
        auto oldest = bound_.end();
        for (auto b = bound_.begin(); b != bound_.end(); ++b) {
            if (inUse.count(b->keycode) == 0 && (oldest == bound_.end() || b->lastUse < oldest->lastUse))
                oldest = b;
        }
        if (oldest == bound_.end()) return {};
        const auto kept = std::chrono::duration_cast<milliseconds>(now - oldest->lastUse);
        if (kept < spareKeyMeaningKept) return {std::nullopt, spareKeyMeaningKept - kept};
        keycode = oldest->keycode;
        evicted = oldest - bound_.begin();
    }
    // The same keysym on the plain and the shifted level, so that Shift makes no difference.
    std::vector<xcb_keysym_t> syms(symsPerKeycode_, XCB_NONE);
    syms[0] = keysym;
    syms[1] = keysym;
    if (c.check(xcb_change_keyboard_mapping_checked(c.xcb(), 1, *keycode, symsPerKeycode_, syms.data()))) {
        return {};
    }
    if (evicted) bound_.erase(bound_.begin() + *evicted);
    bound_.push_back({keysym, *keycode, now});
    return {keycode};
}

// The first keysym of the key code in the server's core mapping.
xcb_keysym_t X11SpareKeys::mappedKeysym(X11Connection& c, xcb_keycode_t keycode) {
    XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(c.xcb(), xcb_get_keyboard_mapping(c.xcb(), keycode, 1), nullptr));
    if (!mapping || xcb_get_keyboard_mapping_keysyms_length(mapping.get()) < 1) return XCB_NONE;
    return xcb_get_keyboard_mapping_keysyms(mapping.get())[0];
}

void X11SpareKeys::used(xcb_keycode_t keycode) {
    for (Binding& b : bound_) {
        if (b.keycode == keycode) b.lastUse = Clock::now();
    }
}

void X11SpareKeys::restore(X11Connection* c) {
    if (c && !c->isBroken()) {
        const std::vector<xcb_keysym_t> none(std::max<std::uint8_t>(symsPerKeycode_, 1), XCB_NONE);
        for (const Binding& b : bound_) {
            if (mappedKeysym(*c, b.keycode) != b.keysym) continue;
            xcb_change_keyboard_mapping(c->xcb(), 1, b.keycode, static_cast<std::uint8_t>(none.size()),
                                        none.data());
        }
        c->flush();
    }
    bound_.clear();
}
