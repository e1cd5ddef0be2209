#include "Support/X11/X11TestClient.h"

#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/X11Keyboard.h"

#include <QObject>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <gtest/gtest.h>

namespace {

TEST(X11Connection, UnreachableDisplayGivesNoConnection) {
    EXPECT_EQ(X11Connection::open("unix:424242"), nullptr);

    // A session without X11: no DISPLAY at all.
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    EXPECT_EQ(X11Connection::open(), nullptr);
    qputenv("DISPLAY", display);
}

class X11ConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(other.isConnected());
        connection = X11Connection::shared();
        ASSERT_NE(connection, nullptr);
        ASSERT_EQ(connection, X11Connection::shared());
    }

    void setRootProperty(const std::string& name, xcb_atom_t type, std::uint8_t format,
                         const std::vector<std::uint8_t>& bytes) {
        const auto units = static_cast<std::uint32_t>(bytes.size() / (format / 8));
        xcb_change_property(other.xcb(), XCB_PROP_MODE_REPLACE, other.root(), other.atom(name), type, format,
                            units, bytes.data());
        other.sync();
    }

    X11TestClient other;
    X11Connection* connection = nullptr;
};

TEST_F(X11ConnectionTest, AtomsAreInternedOnce) {
    const xcb_atom_t atom = connection->atom("OMBRIX_TEST_ATOM");
    EXPECT_NE(atom, static_cast<xcb_atom_t>(XCB_NONE));
    EXPECT_EQ(connection->atom("OMBRIX_TEST_ATOM"), atom);
    EXPECT_EQ(other.atom("OMBRIX_TEST_ATOM"), atom);
}

TEST_F(X11ConnectionTest, ReadsPropertiesOfOtherClients) {
    const std::string title = "Giriş — Örnek Tarayıcı";
    setRootProperty("OMBRIX_TEST_UTF8", other.atom("UTF8_STRING"), 8,
                    std::vector<std::uint8_t>(title.begin(), title.end()));
    setRootProperty("OMBRIX_TEST_LATIN1", XCB_ATOM_STRING, 8, {'c', 'a', 'f', 0xE9});
    const std::uint32_t values[] = {7, 0xFFFFFFFF, 42};
    setRootProperty("OMBRIX_TEST_CARDINALS", XCB_ATOM_CARDINAL, 32,
                    std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(values),
                                              reinterpret_cast<const std::uint8_t*>(values) + sizeof values));
    setRootProperty("OMBRIX_TEST_HUGE", XCB_ATOM_STRING, 8,
                    std::vector<std::uint8_t>(X11Connection::maxPropertyBytes + 4, 'x'));

    const xcb_window_t root = connection->root();
    EXPECT_EQ(connection->textProperty(root, connection->atom("OMBRIX_TEST_UTF8")), title);
    EXPECT_EQ(connection->textProperty(root, connection->atom("OMBRIX_TEST_LATIN1")), "caf\xC3\xA9");
    EXPECT_EQ(connection->uint32Property(root, connection->atom("OMBRIX_TEST_CARDINALS"), XCB_ATOM_CARDINAL),
              (std::vector<std::uint32_t>{7, 0xFFFFFFFF, 42}));
    // Of another type than asked for, absent, or larger than we accept: nothing.
    EXPECT_TRUE(
        connection->uint32Property(root, connection->atom("OMBRIX_TEST_CARDINALS"), XCB_ATOM_WINDOW).empty());
    EXPECT_FALSE(connection->textProperty(root, connection->atom("OMBRIX_TEST_CARDINALS")));
    EXPECT_FALSE(connection->property(root, connection->atom("OMBRIX_TEST_ABSENT")));
    EXPECT_FALSE(connection->property(root, connection->atom("OMBRIX_TEST_HUGE")));
    EXPECT_FALSE(connection->property(0x1FFFFFFF, connection->atom("OMBRIX_TEST_UTF8")));  // no such window
}

TEST_F(X11ConnectionTest, DeliversEventsOfSelectedWindowsToHandlers) {
    const xcb_atom_t watched = connection->atom("OMBRIX_TEST_WATCHED");
    int notices = 0;
    const int id = connection->addEventHandler([&](const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (notify.window == connection->root() && notify.atom == watched) ++notices;
    });
    connection->selectInput(connection->root(), XCB_EVENT_MASK_PROPERTY_CHANGE);

    setRootProperty("OMBRIX_TEST_WATCHED", XCB_ATOM_STRING, 8, {'1'});
    EXPECT_TRUE(spinUntil([&] { return notices == 1; }));

    connection->removeEventHandler(id);
    setRootProperty("OMBRIX_TEST_WATCHED", XCB_ATOM_STRING, 8, {'2'});
    spinFor(100);
    EXPECT_EQ(notices, 1);
}

class X11KeyboardTest : public X11ConnectionTest {
  protected:
    void SetUp() override {
        X11ConnectionTest::SetUp();
        keyboard = connection->keyboard();
        ASSERT_NE(keyboard, nullptr);
    }
    X11Keyboard* keyboard = nullptr;
};

TEST_F(X11KeyboardTest, KnowsKeysAndModifiersOfTheServersKeymap) {
    const std::optional<xcb_keycode_t> a = keyboard->keycode("AC01");
    ASSERT_TRUE(a);
    EXPECT_EQ(a, other.keycodeFor(XKB_KEY_a));
    EXPECT_EQ(keyboard->keyName(*a), "AC01");
    EXPECT_EQ(keyboard->keycode("AC12"), keyboard->keycode("BKSL"));  // an alias
    EXPECT_FALSE(keyboard->keycode("NONE"));
    EXPECT_EQ(keyboard->keyText(*a), QStringLiteral("a"));
    EXPECT_TRUE(keyboard->keyText(*keyboard->keycode("RTRN")).isEmpty());
    EXPECT_TRUE(keyboard->keyText(*keyboard->keycode("LEFT")).isEmpty());

    // The server's default keymap puts Alt on Mod1, Num Lock on Mod2 and Super on Mod4.
    EXPECT_EQ(keyboard->modifierMask(X11Keyboard::Modifier::Alt), XCB_MOD_MASK_1);
    EXPECT_EQ(keyboard->modifierMask(X11Keyboard::Modifier::NumLock), XCB_MOD_MASK_2);
    EXPECT_EQ(keyboard->modifierMask(X11Keyboard::Modifier::Super), XCB_MOD_MASK_4);
    EXPECT_EQ(keyboard->modifierMask(X11Keyboard::Modifier::Control), XCB_MOD_MASK_CONTROL);
    EXPECT_EQ(keyboard->layout(), 0u);
    EXPECT_TRUE(keyboard->detectableAutoRepeat());
}

TEST_F(X11KeyboardTest, FollowsAReboundKeyCode) {
    const std::optional<xcb_keycode_t> spare = other.unboundKeycode();
    ASSERT_TRUE(spare);
    EXPECT_TRUE(keyboard->keyText(*spare).isEmpty());
    int changes = 0;
    QObject receiver;  // ends the connection with the test: the keyboard lives on
    QObject::connect(keyboard, &X11Keyboard::keymapChanged, &receiver, [&] { ++changes; });

    other.rebind(*spare, {XKB_KEY_gbreve});
    ASSERT_TRUE(spinUntil([&] { return keyboard->keyText(*spare) == QStringLiteral("ğ"); }));
    EXPECT_GE(changes, 1);

    other.rebind(*spare, {XKB_KEY_NoSymbol});
    EXPECT_TRUE(spinUntil([&] { return keyboard->keyText(*spare).isEmpty(); }));
}

TEST_F(X11KeyboardTest, FollowsALayoutSwitch) {
    // A second layout on one spare key: the core mapping's third and fourth columns.
    const std::optional<xcb_keycode_t> spare = other.unboundKeycode();
    ASSERT_TRUE(spare);
    other.rebind(*spare, {XKB_KEY_gbreve, XKB_KEY_Gbreve, XKB_KEY_scedilla, XKB_KEY_Scedilla});
    ASSERT_TRUE(spinUntil([&] { return keyboard->keyText(*spare) == QStringLiteral("ğ"); }));
    ASSERT_EQ(xkb_keymap_num_layouts(keyboard->keymap()), 2u);
    int switches = 0;
    QObject receiver;
    QObject::connect(keyboard, &X11Keyboard::layoutChanged, &receiver, [&] { ++switches; });

    other.lockLayout(1);
    EXPECT_TRUE(spinUntil([&] { return keyboard->layout() == 1; }));
    EXPECT_EQ(switches, 1);
    EXPECT_EQ(keyboard->keyText(*spare), QStringLiteral("ş"));

    other.lockLayout(0);
    EXPECT_TRUE(spinUntil([&] { return keyboard->layout() == 0; }));
    EXPECT_EQ(switches, 2);
    EXPECT_EQ(keyboard->keyText(*spare), QStringLiteral("ğ"));

    // A switch made while a keymap change is still on its way is reported all the same.
    other.rebind(*spare, {XKB_KEY_gbreve, XKB_KEY_Gbreve, XKB_KEY_ccedilla, XKB_KEY_Ccedilla});
    other.lockLayout(1);
    EXPECT_TRUE(spinUntil([&] { return keyboard->keyText(*spare) == QStringLiteral("ç"); }));
    spinFor(50);
    EXPECT_EQ(switches, 3);
    other.lockLayout(0);
    EXPECT_TRUE(spinUntil([&] { return keyboard->layout() == 0; }));

    other.rebind(*spare, {XKB_KEY_NoSymbol});
    EXPECT_TRUE(spinUntil([&] { return keyboard->keyText(*spare).isEmpty(); }));
}

}  // namespace
