#include "OmbrixServices/Platform/X11KeyLayout.h"

#include <QList>
#include <QString>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <memory>

namespace {

using StatePtr = std::unique_ptr<xkb_state, decltype(&xkb_state_unref)>;

StatePtr newState(xkb_keymap* keymap) {
    return StatePtr(xkb_state_new(keymap), &xkb_state_unref);
}

bool isKeypad(xkb_keysym_t sym) {
    return sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_9;
}

// The real modifiers one key sets while it is held, alone.
xkb_mod_mask_t modifiersOfKey(xkb_keymap* keymap, xkb_keycode_t keycode) {
    StatePtr scratch = newState(keymap);
    if (!scratch) return 0;
    xkb_state_update_key(scratch.get(), keycode, XKB_KEY_DOWN);
    return xkb_state_serialize_mods(scratch.get(), XKB_STATE_MODS_DEPRESSED) & 0xff;
}

}  // namespace

X11KeyLayout::X11KeyLayout(xkb_keymap* keymap, xkb_layout_index_t layout)
    : keymap_(xkb_keymap_ref(keymap)), layout_(layout) {
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap);
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t key = first; key <= last && key <= 255; ++key) {
        // A key with fewer layouts than the keymap wraps the layout index, as the server does.
        const xkb_layout_index_t keyLayouts = xkb_keymap_num_layouts_for_key(keymap, key);
        if (keyLayouts == 0) continue;
        const xkb_layout_index_t keyLayout = layout % keyLayouts;
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, keyLayout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, key, keyLayout, level, &syms) != 1) continue;
            const char32_t codePoint = xkb_keysym_to_utf32(syms[0]);
            if (codePoint == 0) continue;  // no character: a function key, a modifier, a dead key
            std::vector<Candidate>& keys = keys_[codePoint];
            const bool known =
                std::any_of(keys.begin(), keys.end(), [key](const Candidate& c) { return c.keycode == key; });
            if (!known) keys.push_back({key, isKeypad(syms[0])});
        }
        const xkb_mod_mask_t mods = modifiersOfKey(keymap, key);
        if (mods != 0 && (mods & (mods - 1)) == 0) modifierKeys_.emplace(mods, key);  // first key wins
    }
    for (auto& [codePoint, keys] : keys_) {
        std::stable_sort(keys.begin(), keys.end(),
                         [](const Candidate& a, const Candidate& b) { return !a.keypad && b.keypad; });
    }

    // AltGr is whatever the level-three key sets; keymaps differ (Mod5 usually).
    const xkb_mod_index_t levelThree = xkb_keymap_mod_get_index(keymap, "LevelThree");
    if (levelThree != XKB_MOD_INVALID && levelThree < 32) {
        if (StatePtr scratch = newState(keymap)) {
            xkb_state_update_mask(scratch.get(), xkb_mod_mask_t{1} << levelThree, 0, 0, 0, 0, 0);
            levelThree_ = xkb_state_serialize_mods(scratch.get(), XKB_STATE_MODS_DEPRESSED) & 0xff;
        }
    }
    if (levelThree_ == 0) {
        // Keymaps without the virtual modifier still bind ISO_Level3_Shift to a real one.
        for (const auto& [mods, key] : modifierKeys_) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &syms) == 1 &&
                syms[0] == XKB_KEY_ISO_Level3_Shift) {
                levelThree_ = mods;
                break;
            }
        }
    }
}

X11KeyLayout::~X11KeyLayout() {
    xkb_keymap_unref(keymap_);
}

std::optional<xkb_keycode_t> X11KeyLayout::modifierKey(xkb_mod_mask_t modifier) const {
    const auto found = modifierKeys_.find(modifier);
    if (found == modifierKeys_.end()) return std::nullopt;
    return found->second;
}

bool X11KeyLayout::types(xkb_state* scratch, xkb_keycode_t keycode, xkb_mod_mask_t pressed,
                         xkb_mod_mask_t locked, char32_t codePoint) const {
    xkb_state_update_mask(scratch, pressed, 0, locked, 0, 0, layout_);
    // What a client reads from the press, Caps Lock's capitalisation included.
    return xkb_state_key_get_utf32(scratch, keycode) == codePoint;
}

std::optional<X11KeyLayout::Stroke> X11KeyLayout::stroke(QStringView character,
                                                         xkb_mod_mask_t lockedModifiers,
                                                         const std::set<xkb_keycode_t>& skipped) const {
    const QList<uint> codePoints = character.toString().toUcs4();
    if (codePoints.size() != 1) return std::nullopt;
    const auto codePoint = static_cast<char32_t>(codePoints.front());
    const auto found = keys_.find(codePoint);
    if (found == keys_.end()) return std::nullopt;

    StatePtr scratch = newState(keymap_);
    if (!scratch) return std::nullopt;
    // Shift is real modifier 0 in every keymap. A modifier that no key sets cannot be pressed.
    constexpr xkb_mod_mask_t shift = 0x01;
    const bool canShift = modifierKey(shift).has_value();
    const bool canLevelThree = levelThree_ != 0 && modifierKey(levelThree_).has_value();
    std::vector<xkb_mod_mask_t> combinations = {0};
    if (canShift) combinations.push_back(shift);
    if (canLevelThree) combinations.push_back(levelThree_);
    if (canShift && canLevelThree) combinations.push_back(shift | levelThree_);
    for (const bool keypad : {false, true}) {
        for (const xkb_mod_mask_t pressed : combinations) {
            for (const Candidate& candidate : found->second) {
                if (candidate.keypad != keypad || skipped.count(candidate.keycode) != 0) continue;
                if (types(scratch.get(), candidate.keycode, pressed, lockedModifiers, codePoint)) {
                    return Stroke{candidate.keycode, pressed};
                }
            }
        }
    }
    return std::nullopt;
}
