#include "OmbrixServices/Services/CarbonKeyTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(CarbonKeyTable, NamesKeysByPosition) {
    struct Case {
        std::uint32_t code;
        std::string_view name;
    };
    const Case cases[] = {
        {0, "AC01"},   {1, "AC02"},   {4, "AC06"},   {6, "AB01"},   {12, "AD01"},  {18, "AE01"},
        {29, "AE10"},  {27, "AE11"},  {24, "AE12"},  {33, "AD11"},  {30, "AD12"},  {41, "AC10"},
        {39, "AC11"},  {42, "BKSL"},  {43, "AB08"},  {47, "AB09"},  {44, "AB10"},  {50, "TLDE"},
        {10, "LSGT"},  {36, "RTRN"},  {48, "TAB"},   {49, "SPCE"},  {51, "BKSP"},  {53, "ESC"},
        {117, "DELE"}, {115, "HOME"}, {119, "END"},  {116, "PGUP"}, {121, "PGDN"}, {123, "LEFT"},
        {124, "RGHT"}, {125, "DOWN"}, {126, "UP"},   {122, "FK01"}, {120, "FK02"}, {99, "FK03"},
        {118, "FK04"}, {96, "FK05"},  {97, "FK06"},  {98, "FK07"},  {100, "FK08"}, {101, "FK09"},
        {109, "FK10"}, {103, "FK11"}, {111, "FK12"}, {82, "KP0"},   {92, "KP9"},   {76, "KPEN"},
        {56, "LFSH"},  {58, "LALT"},  {55, "LCTL"},  // Command plays Ctrl
        {59, "LWIN"},                                // Control plays Super
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CarbonKeyTable::xkbName(c.code), c.name) << "code " << c.code;
        EXPECT_EQ(CarbonKeyTable::carbonCode(c.name), c.code) << c.name;
    }
}

TEST(CarbonKeyTable, EveryNamedCodeRoundTripsAndNamesAreUnique) {
    std::set<std::string_view> names;
    for (std::uint32_t code = 0; code < 256; ++code) {
        const auto name = CarbonKeyTable::xkbName(code);
        if (!name) continue;
        EXPECT_TRUE(names.insert(*name).second) << "two codes for " << *name;
        EXPECT_EQ(CarbonKeyTable::carbonCode(*name), code) << *name;
    }
}

TEST(CarbonKeyTable, UnknownCodesAndNamesHaveNoCounterpart) {
    for (std::uint32_t code : {0x34u, 0x3Fu, 0x7Fu, 200u, 65536u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(CarbonKeyTable::xkbName(code)) << code;
    }
    for (std::string_view name : {"", "AC13", "ac01", "FK24", "XXXX"}) {
        EXPECT_FALSE(CarbonKeyTable::carbonCode(name)) << name;
    }
}

TEST(CarbonKeyTable, AcceptsTheUsualAliases) {
    EXPECT_EQ(CarbonKeyTable::carbonCode(std::string_view("AC12")), 0x2Au);
    EXPECT_EQ(CarbonKeyTable::carbonCode(std::string_view("MENU")), 0x6Eu);
    EXPECT_EQ(CarbonKeyTable::carbonCode(std::string_view("LMTA")), 59u);
}

TEST(CarbonKeyTable, QtKeysOfTheRecorder) {
    struct Case {
        Qt::Key key;
        std::optional<std::uint32_t> code;
    };
    const Case cases[] = {
        {Qt::Key_A, 0},
        {Qt::Key_Z, 6},
        {Qt::Key_0, 29},
        {Qt::Key_9, 25},
        {Qt::Key_Minus, 27},
        {Qt::Key_Equal, 24},
        {Qt::Key_Return, 36},
        {Qt::Key_Enter, 76},
        {Qt::Key_Tab, 48},
        {Qt::Key_Space, 49},
        {Qt::Key_Escape, 53},
        {Qt::Key_Backspace, 51},
        {Qt::Key_Delete, 117},
        {Qt::Key_F1, 122},
        {Qt::Key_F12, 111},
        {Qt::Key_Left, 123},
        {Qt::Key_PageDown, 121},
        {Qt::Key_Exclam, std::nullopt},
        {Qt::Key_unknown, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(CarbonKeyTable::carbonCode(c.key), c.code) << "Qt key " << c.key;

    for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key) {
        EXPECT_TRUE(CarbonKeyTable::carbonCode(static_cast<Qt::Key>(key))) << "letter " << key;
    }
    for (int key = Qt::Key_0; key <= Qt::Key_9; ++key) {
        EXPECT_TRUE(CarbonKeyTable::carbonCode(static_cast<Qt::Key>(key))) << "digit " << key;
    }
    for (int key = Qt::Key_F1; key <= Qt::Key_F20; ++key) {
        EXPECT_TRUE(CarbonKeyTable::carbonCode(static_cast<Qt::Key>(key))) << "function key " << key;
    }
}

TEST(CarbonKeyTable, ModifiersFollowQtOnMacOS) {
    using M = CarbonKeyTable::Modifiers;
    struct Case {
        std::uint32_t mask;
        M modifiers;
        Qt::KeyboardModifiers qt;
    };
    const Case cases[] = {
        {0, M{}, Qt::NoModifier},
        {0x100, M{.ctrl = true}, Qt::ControlModifier},
        {0x800, M{.alt = true}, Qt::AltModifier},
        {0x1000, M{.super = true}, Qt::MetaModifier},
        {0x200, M{.shift = true}, Qt::ShiftModifier},
        {0x900, M{.ctrl = true, .alt = true}, Qt::ControlModifier | Qt::AltModifier},
        {0x1B00, M{true, true, true, true},
         Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CarbonKeyTable::modifiers(c.mask), c.modifiers) << "mask " << c.mask;
        EXPECT_EQ(CarbonKeyTable::carbonMask(c.modifiers), c.mask) << "mask " << c.mask;
        EXPECT_EQ(CarbonKeyTable::qtModifiers(c.mask), c.qt) << "mask " << c.mask;
        EXPECT_EQ(CarbonKeyTable::carbonMask(c.qt), c.mask) << "mask " << c.mask;
    }
    // Caps Lock, the right-hand bits and stray bits of a stored preference are ignored.
    EXPECT_EQ(CarbonKeyTable::modifiers(0x400 | 0x2000 | 0x80000000), M{});
    EXPECT_EQ(CarbonKeyTable::carbonMask(Qt::KeypadModifier | Qt::ControlModifier), 0x100u);
}

}  // namespace
