#include "Support/X11/KeyRecorder.h"
#include "Support/X11/MiniWindowManager.h"
#include "Support/X11/X11TestClient.h"

#include "OmbrixServices/Platform/X11AutoTypeBackend.h"
#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Services/AutoTypeService.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace {

using A = AutoTypeAction;

// A second virtual X server whose default layout is Turkish Q. The server ignores layout changes
// at run time, so it reads a copy of the XKB data whose "us" symbols are the Turkish ones.
class TurkishXServer {
  public:
    TurkishXServer() {
        if (!dir_.isValid()) return;
        const QString xkb = dir_.filePath(QStringLiteral("xkb"));
        if (QProcess::execute(QStringLiteral("cp"),
                              {QStringLiteral("-r"), QStringLiteral("/usr/share/X11/xkb"), xkb}) != 0) {
            return;
        }
        QFile us(xkb + QStringLiteral("/symbols/us"));
        if (!us.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
        us.write(
            "default partial alphanumeric_keys modifier_keys\n"
            "xkb_symbols \"basic\" { include \"tr(basic)\" };\n");
        us.close();

        // The server picks a free display number itself and reports it: two test runs at once
        // never race for the same one.
        server_.start(QStringLiteral("Xvfb"),
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-xkbdir"), xkb,
                       QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("800x600x24"),
                       QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                       // Without it the server resets when our probe connection closes, and a
                       // connection made during the reset is refused.
                       QStringLiteral("-noreset")});
        if (!server_.waitForStarted(5000)) return;
        QByteArray number;
        while (!number.endsWith('\n') && server_.waitForReadyRead(10000))
            number += server_.readAllStandardOutput();
        if (number.trimmed().isEmpty()) return;
        display_ = ":" + number.trimmed().toStdString();
        ready_ = spinUntil([this] { return reachable(); }, 10000);
    }

    ~TurkishXServer() {
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            if (!server_.waitForFinished(5000)) server_.kill();
        }
    }

    bool isReady() const { return ready_; }
    const char* display() const { return display_.c_str(); }

  private:
    bool reachable() {
        xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
        const bool ok = xcb_connection_has_error(c) == 0;
        xcb_disconnect(c);
        return ok && server_.state() == QProcess::Running;
    }

    QTemporaryDir dir_;
    QProcess server_;
    std::string display_;
    bool ready_ = false;
};

TEST(AutoTypeLayoutX11, TypesWithTheKeysAndAltGrOfATurkishLayout) {
    TurkishXServer server;
    ASSERT_TRUE(server.isReady());
    std::unique_ptr<X11Connection> connection = X11Connection::open(server.display());
    ASSERT_NE(connection, nullptr);
    AutoTypeService service(createX11AutoTypeBackend([&connection] { return connection.get(); }));
    ASSERT_TRUE(service.hasAccessibilityPermission());

    MiniWindowManager wm(server.display());
    ASSERT_TRUE(wm.isRunning());
    X11TestClient other(server.display());
    ASSERT_TRUE(other.isConnected());
    const std::optional<xcb_keycode_t> capsLock = other.keycodeFor(XKB_KEY_Caps_Lock);
    ASSERT_TRUE(capsLock);

    // Caps Lock changes nothing: the same keys with the same modifiers.
    for (const bool caps : {false, true}) {
        const char* note = caps ? "Caps Lock" : "no lock";
        if (caps) other.tap({*capsLock});
        const std::uint8_t lockedBefore = other.lockedModifiers();
        KeyRecorder target("Hedef", server.display());
        target.show();
        ASSERT_TRUE(spinUntil([&] { return wm.active() == target.window(); })) << note;
        ASSERT_TRUE(service.captureTarget()) << note;

        bool done = false;
        std::optional<AutoTypeError> error;
        service.perform({A::text("şŞiİığ@€q")}, [&](std::optional<AutoTypeError> e) {
            done = true;
            error = std::move(e);
        });
        ASSERT_TRUE(spinUntil([&] { return done; }, 20000)) << note;
        EXPECT_FALSE(error) << note;
        EXPECT_EQ(target.typed(), "şŞiİığ@€q") << note;
        EXPECT_EQ(other.lockedModifiers(), lockedBefore) << note << ": lock kept";

        // Key codes of the evdev keymap: AC10 47, AC11 48, AD08 31, AD11 34, AD01 24, AD03 26.
        struct Expect {
            std::string text;
            xcb_keycode_t keycode;
            std::uint16_t modifiers;
        };
        const Expect expects[] = {
            {"ş", 47, 0},
            {"Ş", 47, XCB_MOD_MASK_SHIFT},
            {"i", 48, 0},
            {"İ", 48, XCB_MOD_MASK_SHIFT},
            {"ı", 31, 0},
            {"ğ", 34, 0},
            {"@", 24, XCB_MOD_MASK_5},
            {"€", 26, XCB_MOD_MASK_5},
            {"q", 24, 0},
        };
        for (const Expect& e : expects) {
            const auto press =
                std::find_if(target.keys().begin(), target.keys().end(),
                             [&](const KeyRecorder::Key& k) { return k.press && k.text == e.text; });
            ASSERT_NE(press, target.keys().end()) << note << ", " << e.text;
            EXPECT_EQ(press->keycode, e.keycode) << note << ", " << e.text;
            EXPECT_EQ(press->state & 0xff, e.modifiers) << note << ", " << e.text;
        }
        if (caps) other.tap({*capsLock});
    }
}

// Characters the US layout lacks are typed through spare key codes, which Caps Lock would
// capitalise like any letter key; a decomposed character must not be composed on the way.
TEST(AutoTypeLayoutX11, LocksDoNotChangeTheTypedTextAndAreKept) {
    X11TestClient other;
    ASSERT_TRUE(other.isConnected());
    const std::optional<xcb_keycode_t> capsLock = other.keycodeFor(XKB_KEY_Caps_Lock);
    ASSERT_TRUE(capsLock);
    AutoTypeService service(createX11AutoTypeBackend());
    MiniWindowManager wm;
    ASSERT_TRUE(wm.isRunning());

    struct Lock {
        const char* note;
        std::function<void()> toggle;
        std::uint8_t locked;  // the real modifiers it locks
    };
    const Lock locks[] = {
        {"Caps Lock key", [&] { other.tap({*capsLock}); }, XCB_MOD_MASK_LOCK},
        // What a Shift Lock key does: it locks Shift.
        {"Shift Lock",
         [&] {
             const bool on = (other.lockedModifiers() & XCB_MOD_MASK_SHIFT) != 0;
             other.lockModifiers(XCB_MOD_MASK_SHIFT, on ? 0 : XCB_MOD_MASK_SHIFT);
         },
         XCB_MOD_MASK_SHIFT},
    };
    struct Case {
        const char* text;
        const char* note;
    };
    const Case cases[] = {
        {"aBz1", "letters of the layout, both cases, and a digit"},
        {"ğışçéß€x", "small letters outside the layout"},
        {"ĞİŞÇÉ", "capital letters outside the layout"},
        {"e\u0301a\u030A", "decomposed: letters followed by combining marks"},
        {"😀", "emoji"},
    };
    for (const Lock& lock : locks) {
        lock.toggle();
        ASSERT_EQ(other.lockedModifiers() & lock.locked, lock.locked) << lock.note;
        const std::uint8_t lockedBefore = other.lockedModifiers();
        for (const Case& c : cases) {
            KeyRecorder target("Hedef");
            target.show();
            ASSERT_TRUE(spinUntil([&] { return wm.active() == target.window(); })) << c.note;
            ASSERT_TRUE(service.captureTarget()) << c.note;

            bool done = false;
            std::optional<AutoTypeError> error;
            service.perform({A::text(c.text)}, [&](std::optional<AutoTypeError> e) {
                done = true;
                error = std::move(e);
            });
            ASSERT_TRUE(spinUntil([&] { return done; }, 20000)) << lock.note << ", " << c.note;
            EXPECT_FALSE(error) << lock.note << ", " << c.note << ": " << error->description();
            EXPECT_EQ(target.typed(), c.text) << lock.note << ", " << c.note;
            EXPECT_EQ(other.lockedModifiers(), lockedBefore) << lock.note << ", " << c.note << ": lock kept";
        }
        lock.toggle();
        ASSERT_EQ(other.lockedModifiers() & lock.locked, 0) << lock.note;
    }
}

}  // namespace
