#include "Typist.h"

#include <QList>

#include <xkbcommon/xkbcommon.h>

#include <optional>
#include <vector>

Typist::~Typist() {
    for (const auto& [keysym, keycode] : spares_) x_.rebind(keycode, {0, 0});
}

void Typist::type(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        const xcb_keysym_t keysym = xkb_utf32_to_keysym(c);
        std::optional<xcb_keycode_t> key = x_.keycodeFor(keysym);
        if (!key) {
            key = x_.unboundKeycode();
            if (!key) return;
            x_.rebind(*key, {keysym, keysym});
            spares_[keysym] = *key;
        }
        x_.tap({*key});
        // A typist's pace: no two strokes share a server time stamp.
        spinFor(10);
    }
}

void Typist::press(xcb_keysym_t keysym) {
    if (const std::optional<xcb_keycode_t> key = x_.keycodeFor(keysym)) x_.tap({*key});
}

void Typist::pressWithControl(xcb_keysym_t keysym) {
    chord({controlKey, keysym});
}

void Typist::chord(std::initializer_list<xcb_keysym_t> keysyms) {
    std::vector<xcb_keycode_t> keys;
    for (const xcb_keysym_t keysym : keysyms) {
        const std::optional<xcb_keycode_t> key = x_.keycodeFor(keysym);
        if (!key) return;
        keys.push_back(*key);
    }
    for (const xcb_keycode_t key : keys) x_.fakeKey(key, true);
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) x_.fakeKey(*it, false);
}
