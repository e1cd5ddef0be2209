#pragma once

#include <QStringView>

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

// Which key of one keyboard layout (an XKB group of a keymap) types a character, and which
// modifier keys must be held for it: the reverse of what a client does with a key press. The
// layout's character table is read once, when the object is made; a lookup never adds to it, so
// nothing is ever remembered of the text being typed.
class X11KeyLayout {
  public:
    struct Stroke {
        xkb_keycode_t keycode = 0;
        // Real modifier bits (as in the state field of X events) to hold while the key is pressed.
        xkb_mod_mask_t modifiers = 0;

        bool operator==(const Stroke&) const = default;
    };

    X11KeyLayout(xkb_keymap* keymap, xkb_layout_index_t layout);
    ~X11KeyLayout();
    X11KeyLayout(const X11KeyLayout&) = delete;
    X11KeyLayout& operator=(const X11KeyLayout&) = delete;

    xkb_layout_index_t layout() const { return layout_; }

    // The stroke that types `character` (one code point, compared exactly, so that a decomposed
    // character is never typed composed) while `lockedModifiers` are locked (Caps Lock turns a
    // plain "a" into "A", so "a" then needs Shift). Tried in order: no modifier, Shift, AltGr
    // (level three), Shift with AltGr; within each, key codes in ascending order. Control and the
    // locks are never pressed, and a keypad key is taken only when no other key types the
    // character. Keys in `skipped` are passed over. None when no key of the layout types it (a
    // character of another script, an emoji, or one reached only through a dead key).
    std::optional<Stroke> stroke(QStringView character, xkb_mod_mask_t lockedModifiers = 0,
                                 const std::set<xkb_keycode_t>& skipped = {}) const;

    // The key whose press alone sets exactly this real modifier (Shift_L for Shift); none when no
    // key does.
    std::optional<xkb_keycode_t> modifierKey(xkb_mod_mask_t modifier) const;
    // The real modifier that AltGr (level three) sets in this keymap; 0 when it has none.
    xkb_mod_mask_t levelThreeMask() const { return levelThree_; }

  private:
    struct Candidate {
        xkb_keycode_t keycode;
        bool keypad;
    };
    bool types(xkb_state* scratch, xkb_keycode_t keycode, xkb_mod_mask_t pressed, xkb_mod_mask_t locked,
               char32_t codePoint) const;

    xkb_keymap* keymap_;
    xkb_layout_index_t layout_;
    xkb_mod_mask_t levelThree_ = 0;
    // Code point → the keys that type it at some level, main keys before keypad keys.
    std::unordered_map<char32_t, std::vector<Candidate>> keys_;
    std::map<xkb_mod_mask_t, xkb_keycode_t> modifierKeys_;
};
