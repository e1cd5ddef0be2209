#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include <QString>

#include <xkbcommon/xkbcommon.h>

#include "OmbrixServices/Platform/X11KeyLayout.h"

// Keymaps compiled from the system's XKB data by name, as a desktop configures them; no X server.
namespace {

struct Keymap {
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context{xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                       &xkb_context_unref};
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap{nullptr, &xkb_keymap_unref};

    explicit Keymap(const char* layouts) {
        xkb_rule_names names{"evdev", "pc105", layouts, "", ""};
        keymap.reset(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    }

    xkb_keycode_t key(const char* name) const { return xkb_keymap_key_by_name(keymap.get(), name); }
};

constexpr xkb_mod_mask_t shift = 0x01;
constexpr xkb_mod_mask_t capsLock = 0x02;
constexpr xkb_mod_mask_t mod5 = 0x80;  // where the evdev keymaps put AltGr (level three)

TEST(X11KeyLayout, CharactersMapToKeysAndModifiersOfTheLayout) {
    struct Case {
        const char* layouts;
        xkb_layout_index_t layout;
        const char* character;
        const char* keyName;  // nullptr: no key types it
        xkb_mod_mask_t modifiers;
        const char* note;
    };
    const Case cases[] = {
        {"us", 0, "a", "AC01", 0, "plain letter"},
        {"us", 0, "A", "AC01", shift, "capital letter"},
        {"us", 0, "@", "AE02", shift, "at sign over 2"},
        {"us", 0, "1", "AE01", 0, "main digit key before the keypad"},
        {"us", 0, " ", "SPCE", 0, "space"},
        {"us", 0, "\xE2\x82\xAC", nullptr, 0, "euro sign: not on a US keyboard"},
        {"us", 0, "\xC5\x9F", nullptr, 0, "s-cedilla: not on a US keyboard"},
        {"us", 0, "\xF0\x9F\x98\x80", nullptr, 0, "emoji"},
        {"us", 0, "ab", nullptr, 0, "two characters are no character"},
        {"tr", 0, "\xC5\x9F", "AC10", 0, "s-cedilla"},
        {"tr", 0, "\xC5\x9E", "AC10", shift, "capital S-cedilla"},
        {"tr", 0, "i", "AC11", 0, "dotted i"},
        {"tr", 0, "\xC4\xB0", "AC11", shift, "capital dotted I"},
        {"tr", 0, "\xC4\xB1", "AD08", 0, "dotless i"},
        {"tr", 0, "\xC4\x9F", "AD11", 0, "g-breve"},
        {"tr", 0, "@", "AD01", mod5, "at sign with AltGr+Q"},
        {"tr", 0, "\xE2\x82\xAC", "AD03", mod5, "euro sign with AltGr+E"},
        {"de", 0, "@", "AD01", mod5, "at sign with AltGr+Q"},
        {"de", 0, "\xC3\xBC", "AD11", 0, "u-umlaut"},
        {"de", 0, "z", "AD06", 0, "QWERTZ"},
        {"de", 0, "u\xCC\x88", nullptr, 0, "decomposed u-umlaut: no key types both code points"},
        {"de", 0, "\xC3\xA9", nullptr, 0, "e-acute only through a dead key"},
        {"us,tr", 1, "\xC4\x9F", "AD11", 0, "second layout of the keymap"},
        {"us,tr", 0, "\xC4\x9F", nullptr, 0, "first layout lacks it"},
    };
    for (const Case& c : cases) {
        const Keymap keymap(c.layouts);
        ASSERT_TRUE(keymap.keymap) << c.layouts;
        const X11KeyLayout layout(keymap.keymap.get(), c.layout);
        const std::optional<X11KeyLayout::Stroke> stroke = layout.stroke(QString::fromUtf8(c.character));
        if (!c.keyName) {
            EXPECT_FALSE(stroke) << c.note;
            continue;
        }
        ASSERT_TRUE(stroke) << c.note;
        EXPECT_EQ(stroke->keycode, keymap.key(c.keyName)) << c.note;
        EXPECT_EQ(stroke->modifiers, c.modifiers) << c.note;
    }
}

TEST(X11KeyLayout, CapsLockIsTakenIntoAccount) {
    const Keymap keymap("tr");
    const X11KeyLayout layout(keymap.keymap.get(), 0);
    EXPECT_EQ(layout.stroke(u"a", capsLock), (X11KeyLayout::Stroke{keymap.key("AC01"), shift}));
    EXPECT_EQ(layout.stroke(u"A", capsLock), (X11KeyLayout::Stroke{keymap.key("AC01"), 0}));
    EXPECT_EQ(layout.stroke(u"1", capsLock), (X11KeyLayout::Stroke{keymap.key("AE01"), 0}));
}

TEST(X11KeyLayout, ModifierKeysAndSkippedKeys) {
    const Keymap keymap("de");
    const X11KeyLayout layout(keymap.keymap.get(), 0);
    EXPECT_EQ(layout.levelThreeMask(), mod5);
    EXPECT_EQ(layout.modifierKey(shift), keymap.key("LFSH"));
    EXPECT_EQ(layout.modifierKey(0x04), keymap.key("LCTL"));
    EXPECT_TRUE(layout.modifierKey(mod5));
    EXPECT_FALSE(layout.modifierKey(shift | mod5)) << "one key per modifier";

    // Without the main key, a digit falls back to the keypad (with Num Lock locked).
    const std::optional<X11KeyLayout::Stroke> viaKeypad = layout.stroke(u"7", 0x10, {keymap.key("AE07")});
    ASSERT_TRUE(viaKeypad);
    EXPECT_EQ(viaKeypad->keycode, keymap.key("KP7"));
}

}  // namespace
