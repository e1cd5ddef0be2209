#pragma once

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

class X11Connection;

// How long a spare key code keeps its keysym after its last press, before it may be given another
// one or none: a client reads a changed key map only when it comes to the notice of the change in
// its queue, and decodes the keys after it with the map as it is at that moment, not as it was
// when the key was pressed. Clients stalled for several seconds (a browser busy with a page, an
// application swapping) still get every character; a run that needs more distinct characters
// than there are free key codes waits for the oldest binding to come of age.
inline constexpr std::chrono::milliseconds spareKeyMeaningKept{10000};

// The spare key codes auto-type binds to keysyms that no key of the layout types: which are
// spare, which keysym each holds and since when, and giving them back their empty mapping.
class X11SpareKeys {
  public:
    struct SpareKey {
        std::optional<xcb_keycode_t> keycode;
        std::chrono::milliseconds wait{0};  // none yet: the one to give up its keysym must keep it this long
    };

    SpareKey bind(X11Connection& c, xkb_keysym_t keysym, const std::set<xcb_keycode_t>& inUse);
    // The key code was pressed or released: a spare one keeps its keysym from now on.
    void used(xcb_keycode_t keycode);
    std::set<xkb_keycode_t> boundKeycodes() const;
    bool empty() const { return bound_.empty(); }
    // The next run reads the spare key codes anew.
    void endRun() { poolRead_ = false; }
    // Gives the spare key codes back their empty mapping, those that still hold our keysym.
    void restore(X11Connection* c);

  private:
    using Clock = std::chrono::steady_clock;

    struct Binding {
        xkb_keysym_t keysym;
        xcb_keycode_t keycode;
        Clock::time_point lastUse;  // bound or pressed
    };

    void readSparePool(X11Connection& c);
    static xcb_keysym_t mappedKeysym(X11Connection& c, xcb_keycode_t keycode);

    bool poolRead_ = false;
    std::uint8_t symsPerKeycode_ = 0;
    std::vector<xcb_keycode_t> pool_;
    std::vector<Binding> bound_;
};
