#include "Support/X11/X11TestClient.h"

#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/X11HotKeyBackend.h"
#include "OmbrixServices/Platform/X11Keyboard.h"
#include "OmbrixServices/Services/HotKeyService.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class HotKeyX11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(other.isConnected());
        ASSERT_NE(X11Connection::shared(), nullptr);
        ASSERT_NE(X11Connection::shared()->keyboard(), nullptr);
        for (auto [keysym, keycode] :
             {std::pair{XKB_KEY_Control_L, &ctrl}, std::pair{XKB_KEY_Alt_L, &alt},
              std::pair{XKB_KEY_a, &keyA}, std::pair{XKB_KEY_b, &keyB},
              std::pair{XKB_KEY_Caps_Lock, &capsLock}, std::pair{XKB_KEY_Num_Lock, &numLock}}) {
            std::optional<xcb_keycode_t> found = other.keycodeFor(keysym);
            ASSERT_TRUE(found) << "keysym " << keysym;
            *keycode = *found;
        }
    }

    void TearDown() override { service.unregister(); }

    // Presses that reach the handler once everything the server sent for the typing has been
    // handled: a round trip on the service's connection puts those events behind its reply.
    int pressesAfter(const std::function<void()>& typing) {
        const int before = presses;
        typing();
        xcb_connection_t* connection = X11Connection::shared()->xcb();
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        spinFor(300);
        return presses - before;
    }

    std::uint16_t lockedModifiers() const {
        return static_cast<std::uint16_t>(
            xkb_state_serialize_mods(X11Connection::shared()->keyboard()->state(), XKB_STATE_MODS_LOCKED));
    }

    X11TestClient other;
    HotKeyService service{createX11HotKeyBackend()};
    int presses = 0;
    std::function<void()> countPress = [this] { ++presses; };
    xcb_keycode_t ctrl = 0, alt = 0, keyA = 0, keyB = 0, capsLock = 0, numLock = 0;
};

TEST_F(HotKeyX11Test, ChordRunsTheHandlerOnceWhateverTheLocks) {
    service.registerHotKey(HotKeyService::defaultKeyCode, HotKeyService::defaultModifiers, countPress);
    ASSERT_TRUE(service.isRegistered());

    const X11Keyboard& keyboard = *X11Connection::shared()->keyboard();
    const std::uint16_t capsMask = keyboard.modifierMask(X11Keyboard::Modifier::CapsLock);
    const std::uint16_t numMask = keyboard.modifierMask(X11Keyboard::Modifier::NumLock);
    const std::uint16_t shiftMask = XCB_MOD_MASK_SHIFT;
    ASSERT_NE(numMask, 0);
    const std::uint16_t lockMasks = capsMask | numMask | shiftMask;
    struct Case {
        const char* note;
        std::vector<xcb_keycode_t> locks;  // lock keys tapped
        std::uint8_t lockedByRequest;      // real modifiers locked as a Shift Lock key locks Shift
        std::uint16_t locked;
    };
    const Case cases[] = {
        {"no lock", {}, 0, 0},
        {"Caps Lock", {capsLock}, 0, capsMask},
        {"Num Lock", {numLock}, 0, numMask},
        {"both", {capsLock, numLock}, 0, static_cast<std::uint16_t>(capsMask | numMask)},
        {"Shift Lock", {}, XCB_MOD_MASK_SHIFT, shiftMask},
        {"Shift Lock and Num Lock",
         {numLock},
         XCB_MOD_MASK_SHIFT,
         static_cast<std::uint16_t>(shiftMask | numMask)},
    };
    for (const Case& c : cases) {
        for (xcb_keycode_t lock : c.locks) other.tap({lock});
        if (c.lockedByRequest) other.lockModifiers(c.lockedByRequest, c.lockedByRequest);
        ASSERT_TRUE(spinUntil([&] { return (lockedModifiers() & lockMasks) == c.locked; })) << c.note;

        EXPECT_EQ(pressesAfter([&] { other.tap({ctrl, alt, keyA}); }), 1) << c.note;

        for (xcb_keycode_t lock : c.locks) other.tap({lock});
        if (c.lockedByRequest) other.lockModifiers(c.lockedByRequest, 0);
        ASSERT_TRUE(spinUntil([&] { return (lockedModifiers() & lockMasks) == 0; })) << c.note;
    }
    // With Shift no longer locked, Shift is a modifier again: Ctrl+Alt+Shift+A is not the hot key.
    const auto shift = other.keycodeFor(XKB_KEY_Shift_L);
    ASSERT_TRUE(shift);
    EXPECT_EQ(pressesAfter([&] { other.tap({ctrl, alt, *shift, keyA}); }), 0);
}

// Another program may hold the combination only in some states of the locks (it did not think
// of the others); the hot key keeps working in the others, and the service says where it does not.
// With Shift Lock on, the combination comes with Shift: another program holding Ctrl+Alt+Shift+A
// then has it.
TEST_F(HotKeyX11Test, ChordHeldByAnotherClientInSomeLockStatesStillWorksInTheOthers) {
    const std::uint16_t numMask =
        X11Connection::shared()->keyboard()->modifierMask(X11Keyboard::Modifier::NumLock);
    const std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    struct Case {
        const char* note;
        std::uint16_t heldByOther;     // the lock modifiers on in the state the other program holds
        std::uint8_t lockedByRequest;  // real modifiers locked as a Shift Lock key locks Shift
        QStringList taken;
        std::vector<xcb_keycode_t> locksForAPress;  // a state in which the hot key still works
    };
    const Case cases[] = {
        {"held with Num Lock on", numMask, 0, {QStringLiteral("Num Lock")}, {}},
        {"held with Num Lock on, Caps Lock on", numMask, 0, {QStringLiteral("Num Lock")}, {capsLock}},
        {"held with no lock on", 0, 0, {QString()}, {numLock}},
        {"held with Shift, while Shift Lock is on",
         XCB_MOD_MASK_SHIFT,
         XCB_MOD_MASK_SHIFT,
         {QStringLiteral("Shift Lock")},
         {numLock}},
    };
    for (const Case& c : cases) {
        const auto held = static_cast<std::uint16_t>(ctrlAlt | c.heldByOther);
        ASSERT_FALSE(other.grabKey(keyA, held)) << c.note;
        if (c.lockedByRequest) {
            other.lockModifiers(c.lockedByRequest, c.lockedByRequest);
            ASSERT_TRUE(spinUntil([&] { return (lockedModifiers() & c.lockedByRequest) != 0; })) << c.note;
        }
        service.registerHotKey(HotKeyService::defaultKeyCode, HotKeyService::defaultModifiers, countPress);
        EXPECT_TRUE(service.isRegistered()) << c.note;
        EXPECT_EQ(service.status(), HotKeyService::Status::partlyTaken) << c.note;
        EXPECT_EQ(service.lockStatesTaken(), c.taken) << c.note;
        // The user comes back to the program, which tries again; the other program still holds it.
        service.registerAgainIfRefused();
        EXPECT_EQ(service.status(), HotKeyService::Status::partlyTaken) << c.note;
        EXPECT_EQ(service.lockStatesTaken(), c.taken) << c.note;
        EXPECT_EQ(pressesAfter([&] {
                      for (xcb_keycode_t lock : c.locksForAPress) other.tap({lock});
                      other.tap({ctrl, alt, keyA});
                      for (xcb_keycode_t lock : c.locksForAPress) other.tap({lock});
                  }),
                  1)
            << c.note;
        if (c.lockedByRequest) {
            // The lock goes: the combination is the service's again in every state it wants.
            other.lockModifiers(c.lockedByRequest, 0);
            EXPECT_TRUE(spinUntil([&] { return service.status() == HotKeyService::Status::registered; }))
                << c.note;
            // And comes back while the service holds the key: the service says so again.
            other.lockModifiers(c.lockedByRequest, c.lockedByRequest);
            EXPECT_TRUE(spinUntil([&] { return service.status() == HotKeyService::Status::partlyTaken; }))
                << c.note;
            EXPECT_EQ(service.lockStatesTaken(), c.taken) << c.note;
            other.lockModifiers(c.lockedByRequest, 0);
            ASSERT_TRUE(spinUntil([&] { return (lockedModifiers() & c.lockedByRequest) == 0; })) << c.note;
        }
        other.ungrabKey(keyA, held);
        service.unregister();
    }
}

TEST_F(HotKeyX11Test, OtherChordsAndAHeldKeyDoNotFireAgain) {
    service.registerHotKey(0, 0x900, countPress);
    ASSERT_TRUE(service.isRegistered());

    EXPECT_EQ(pressesAfter([&] { other.tap({ctrl, keyA}); }), 0) << "Ctrl+A";
    EXPECT_EQ(pressesAfter([&] { other.tap({ctrl, alt, keyB}); }), 0) << "Ctrl+Alt+B";

    // A held key: the server repeats the press while the key stays down.
    EXPECT_EQ(pressesAfter([&] {
                  other.fakeKey(ctrl, true);
                  other.fakeKey(alt, true);
                  other.fakeKey(keyA, true);
                  spinFor(1200);  // past the server's auto-repeat delay (660 ms by default)
                  other.fakeKey(keyA, false);
                  other.fakeKey(alt, false);
                  other.fakeKey(ctrl, false);
              }),
              1);
}

TEST_F(HotKeyX11Test, ChordHeldByAnotherClientIsRefused) {
    service.registerHotKey(14, 0x900, countPress);  // Ctrl+Alt+E first, to see it released
    ASSERT_TRUE(service.isRegistered());

    // Another program that holds it in every state of Caps Lock and Num Lock.
    const std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    const std::uint16_t numMask =
        X11Connection::shared()->keyboard()->modifierMask(X11Keyboard::Modifier::NumLock);
    std::vector<std::uint16_t> states;
    for (const std::uint16_t locks : {0, int{XCB_MOD_MASK_LOCK}, int{numMask}, XCB_MOD_MASK_LOCK | numMask})
        states.push_back(static_cast<std::uint16_t>(ctrlAlt | locks));
    for (const std::uint16_t state : states) ASSERT_FALSE(other.grabKey(keyA, state));
    service.registerHotKey(0, 0x900, countPress);
    EXPECT_FALSE(service.isRegistered());
    EXPECT_FALSE(service.registration());
    EXPECT_EQ(service.status(), HotKeyService::Status::taken);

    // Nothing of the failed attempt or the earlier key stays grabbed by us.
    for (const std::uint16_t state : states) other.ungrabKey(keyA, state);
    const auto keyE = other.keycodeFor(XKB_KEY_e);
    ASSERT_TRUE(keyE);
    for (int locks : {0, int{XCB_MOD_MASK_LOCK}}) {
        EXPECT_FALSE(other.grabKey(keyA, static_cast<std::uint16_t>(ctrlAlt | locks))) << locks;
        EXPECT_FALSE(other.grabKey(*keyE, static_cast<std::uint16_t>(ctrlAlt | locks))) << locks;
        other.ungrabKey(keyA, static_cast<std::uint16_t>(ctrlAlt | locks));
        other.ungrabKey(*keyE, static_cast<std::uint16_t>(ctrlAlt | locks));
    }

    // The other program has let go: the next try takes the combination.
    service.registerAgainIfRefused();
    EXPECT_EQ(service.status(), HotKeyService::Status::registered);
    EXPECT_EQ(pressesAfter([&] { other.tap({ctrl, alt, keyA}); }), 1);
}

TEST_F(HotKeyX11Test, UnregisterReleasesTheGrab) {
    service.registerHotKey(0, 0x900, countPress);
    ASSERT_TRUE(service.isRegistered());
    const std::uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    EXPECT_EQ(other.grabKey(keyA, ctrlAlt), XCB_ACCESS);

    service.unregister();
    EXPECT_FALSE(other.grabKey(keyA, ctrlAlt));
    other.ungrabKey(keyA, ctrlAlt);
    EXPECT_EQ(pressesAfter([&] { other.tap({ctrl, alt, keyA}); }), 0);
}

TEST_F(HotKeyX11Test, DisplayStringUsesTheCurrentLayout) {
    EXPECT_EQ(HotKeyService::displayString(0, 0x900), QStringLiteral("Ctrl+Alt+A"));
    EXPECT_EQ(HotKeyService::displayString(0x2A, 0x1200), QStringLiteral("Shift+Super+\\"));
    EXPECT_EQ(HotKeyService::displayString(0x18, 0x100), QStringLiteral("Ctrl+="));
    EXPECT_EQ(HotKeyService::displayString(49, 0x1A00), QStringLiteral("Alt+Shift+Super+Space"));
    EXPECT_EQ(HotKeyService::displayString(123, 0x100), QStringLiteral("Ctrl+#123"));
}

}  // namespace
