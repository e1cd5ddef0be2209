#include "QtTarget.h"
#include "Support/X11/KeyRecorder.h"
#include "Support/X11/MiniWindowManager.h"
#include "Support/X11/X11TestClient.h"

#include "OmbrixServices/Platform/X11AutoTypeBackend.h"
#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/X11HotKeyBackend.h"
#include "OmbrixServices/Platform/X11Keyboard.h"
#include "OmbrixServices/Services/AutoTypeSequence.h"
#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/HotKeyService.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using A = AutoTypeAction;

constexpr std::uint16_t shiftMask = XCB_MOD_MASK_SHIFT;

struct Outcome {
    bool done = false;
    std::optional<AutoTypeError> error;
};

// The turkish texts the user reads when a run stops because of what another program did.
const std::string focusMovedText = "Klavye odağı başka bir pencereye geçtiği için otomatik yazma durduruldu.";
const std::string keyboardGrabbedText = "Klavyeyi başka bir program tuttuğu için otomatik yazma durduruldu.";
const std::string targetClosedText = "Hedef pencere kapandığı için otomatik yazma durduruldu.";

// The window manager of the display in a process of its own, as on a real desktop: its work
// happens between the steps of a run, not only when the test's event loop lets it. Ends with
// the object.
class WindowManagerProcess {
  public:
    explicit WindowManagerProcess(int activeWindowLagMs) {
        process_.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--window-manager"), QString::number(activeWindowLagMs)});
        if (!process_.waitForStarted(10000)) return;
        QByteArray said;
        while (!said.contains('\n') && process_.waitForReadyRead(10000))
            said += process_.readAllStandardOutput();
        running_ = said.startsWith("ready");
    }

    ~WindowManagerProcess() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

    bool isRunning() const { return running_ && process_.state() == QProcess::Running; }

  private:
    QProcess process_;
    bool running_ = false;
};

class AutoTypeX11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(other.isConnected());
        ASSERT_NE(X11Connection::shared(), nullptr);
        service = std::make_unique<AutoTypeService>(createX11AutoTypeBackend());
        ASSERT_TRUE(service->hasAccessibilityPermission());
    }

    std::shared_ptr<Outcome> start(std::vector<AutoTypeAction> actions) {
        auto outcome = std::make_shared<Outcome>();
        service->perform(std::move(actions), [outcome](std::optional<AutoTypeError> error) {
            outcome->done = true;
            outcome->error = std::move(error);
        });
        return outcome;
    }

    Outcome run(std::vector<AutoTypeAction> actions) {
        std::shared_ptr<Outcome> outcome = start(std::move(actions));
        EXPECT_TRUE(spinUntil([&] { return outcome->done; }, 20000));
        return *outcome;
    }

    // No key of the keyboard is down on the server.
    bool noKeyDown() {
        auto reply = std::unique_ptr<xcb_query_keymap_reply_t, decltype(&std::free)>(
            xcb_query_keymap_reply(other.xcb(), xcb_query_keymap(other.xcb()), nullptr), &std::free);
        return reply && std::all_of(std::begin(reply->keys), std::end(reply->keys),
                                    [](std::uint8_t b) { return b == 0; });
    }

    std::set<xcb_keycode_t> unboundKeycodes() {
        std::set<xcb_keycode_t> codes;
        const xcb_setup_t* setup = xcb_get_setup(other.xcb());
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto mapping = std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)>(
            xcb_get_keyboard_mapping_reply(
                other.xcb(),
                xcb_get_keyboard_mapping(other.xcb(), setup->min_keycode, static_cast<std::uint8_t>(count)),
                nullptr),
            &std::free);
        const int per = mapping->keysyms_per_keycode;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        for (int key = 0; key < count; ++key) {
            if (std::all_of(syms + key * per, syms + (key + 1) * per,
                            [](xcb_keysym_t s) { return s == 0; })) {
                codes.insert(static_cast<xcb_keycode_t>(setup->min_keycode + key));
            }
        }
        return codes;
    }

    // _NET_ACTIVE_WINDOW on the root window, as the window manager set it.
    xcb_window_t activeWindow() {
        auto reply = std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>(
            xcb_get_property_reply(other.xcb(),
                                   xcb_get_property(other.xcb(), 0, other.root(),
                                                    other.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1),
                                   nullptr),
            &std::free);
        if (!reply || xcb_get_property_value_length(reply.get()) != 4) return XCB_NONE;
        return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    }

    // Whether the key is down on the server right now.
    bool isDown(xcb_keycode_t keycode) {
        auto reply = std::unique_ptr<xcb_query_keymap_reply_t, decltype(&std::free)>(
            xcb_query_keymap_reply(other.xcb(), xcb_query_keymap(other.xcb()), nullptr), &std::free);
        return reply && (reply->keys[keycode / 8] & (1 << (keycode % 8))) != 0;
    }

    // Shows a recorder window through the window manager and waits until it is active.
    void showActive(MiniWindowManager& wm, KeyRecorder& window) {
        window.show();
        ASSERT_TRUE(spinUntil([&] { return wm.active() == window.window(); }));
    }

    X11TestClient other;
    std::unique_ptr<AutoTypeService> service;
};

TEST_F(AutoTypeX11Test, TypesUserNameTabPasswordAndEnterIntoTheTarget) {
    MiniWindowManager wm;
    ASSERT_TRUE(wm.isRunning());
    KeyRecorder target("Giriş — Banka");
    showActive(wm, target);

    service->startTrackingFrontmostApplication();
    ASSERT_TRUE(spinUntil([&] { return service->targetApplication().has_value(); }));
    EXPECT_EQ(*service->targetApplication(),
              (AutoTypeService::Target{target.window(), QStringLiteral("Recorder")}));
    EXPECT_EQ(service->frontmostWindowTitle(), QStringLiteral("Giriş — Banka"));

    const std::set<xcb_keycode_t> freeBefore = unboundKeycodes();
    ASSERT_GE(freeBefore.size(), 8u);
    const std::optional<xcb_keycode_t> two = other.keycodeFor(XKB_KEY_2);
    ASSERT_TRUE(two);

    KdbxEntry entry;
    entry.username = "kullanıcı";
    entry.password = SecureString("Şifre-ğüİ@1€😀");
    const Outcome outcome = run(AutoTypeSequence::parse(AutoTypeService::defaultSequence, entry));
    EXPECT_FALSE(outcome.error) << outcome.error->description();

    // Compared without printing: the expected text holds a password.
    const std::string expected = "kullanıcı\tŞifre-ğüİ@1€😀\r";
    EXPECT_TRUE(target.typed() == expected)
        << "typed text differs from the entry's (" << target.typed().size() << " bytes typed, "
        << expected.size() << " expected)";

    // What each character took: its own key and modifiers, or a spare key code.
    struct Expect {
        std::string text;
        std::optional<xcb_keycode_t> keycode;  // none: one of the spare key codes
        std::uint16_t modifiers;
    };
    const Expect expects[] = {
        {"k", std::nullopt, 0}, {"ı", std::nullopt, 0},  {"\t", std::nullopt, 0}, {"Ş", std::nullopt, 0},
        {"ğ", std::nullopt, 0}, {"İ", std::nullopt, 0},  {"@", *two, shiftMask},  {"€", std::nullopt, 0},
        {"😀", std::nullopt, 0}, {"\r", std::nullopt, 0},
    };
    for (const Expect& e : expects) {
        const auto press =
            std::find_if(target.keys().begin(), target.keys().end(),
                         [&](const KeyRecorder::Key& k) { return k.press && k.text == e.text; });
        ASSERT_NE(press, target.keys().end()) << "no press typed " << e.text;
        EXPECT_EQ(press->state & 0xff, e.modifiers) << e.text;
        if (e.keycode) {
            EXPECT_EQ(press->keycode, *e.keycode) << e.text;
        }
        const bool viaSpare = freeBefore.count(press->keycode) != 0;
        const bool missingFromLayout = e.text == "ı" || e.text == "Ş" || e.text == "ğ" || e.text == "İ" ||
                                       e.text == "€" || e.text == "😀";
        EXPECT_EQ(viaSpare, missingFromLayout) << e.text;
    }

    EXPECT_TRUE(noKeyDown());
    // The spare key codes keep their keysyms a while after the run, for a target that reads its
    // keys late, and then lose them again.
    EXPECT_FALSE(unboundKeycodes() == freeBefore);
    EXPECT_TRUE(spinUntil([&] { return unboundKeycodes() == freeBefore; }, 30000));
}

// One user-perceived character can need more spare key codes than the keyboard has free (a
// letter under a pile of combining marks). Reusing a key already bound for that same character
// would type a different code point; the run stops instead and types nothing wrong.
TEST_F(AutoTypeX11Test, ACharacterNeedingMoreSpareKeysThanAreFreeStopsTheRun) {
    MiniWindowManager wm;
    ASSERT_TRUE(wm.isRunning());
    KeyRecorder target("Hedef");
    showActive(wm, target);
    ASSERT_TRUE(service->captureTarget());

    const std::set<xcb_keycode_t> freeBefore = unboundKeycodes();
    QString pile = QStringLiteral("a");
    for (char16_t mark = 0x0300; pile.size() < static_cast<qsizetype>(freeBefore.size()) + 5; ++mark) {
        pile.append(QChar(mark));
    }
    // Even composed, it holds more code points than there are free key codes.
    ASSERT_GT(static_cast<std::size_t>(pile.normalized(QString::NormalizationForm_C).toUcs4().size()),
              freeBefore.size() + 1);

    const Outcome outcome = run({A::text("x" + pile.toStdString() + "y")});
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error, AutoTypeError::eventCreationFailed());
    EXPECT_EQ(target.typed(), "x");
    EXPECT_TRUE(noKeyDown());
    EXPECT_TRUE(spinUntil([&] { return unboundKeycodes() == freeBefore; }, 30000));
}

// While the hot key's letter is down the server keeps the keyboard grabbed for us, so keys
// typed then would never reach the target. People often let go of Ctrl and Alt first, or press
// the hot key once more while the first run types.
TEST_F(AutoTypeX11Test, AHotKeyRunTypesOnlyWhileNoKeyIsDown) {
    MiniWindowManager wm;
    ASSERT_TRUE(wm.isRunning());
    xcb_keycode_t ctrl = 0, alt = 0, letter = 0;
    for (auto [keysym, keycode] : {std::pair{XKB_KEY_Control_L, &ctrl}, std::pair{XKB_KEY_Alt_L, &alt},
                                   std::pair{XKB_KEY_a, &letter}}) {
        const std::optional<xcb_keycode_t> found = other.keycodeFor(keysym);
        ASSERT_TRUE(found) << "keysym " << keysym;
        *keycode = *found;
    }

    struct Case {
        const char* note;
        int letterHeldMs;  // after Ctrl and Alt are up
        bool pressedAgainWhileTyping;
        std::optional<AutoTypeError> error;
    };
    const Case cases[] = {
        {"letter released 0.6 s after Ctrl and Alt", 600, false, std::nullopt},
        {"letter released first", -1, false, std::nullopt},
        {"hot key pressed again while typing", -1, true, std::nullopt},
        {"letter held past the wait", 2500, false, AutoTypeError::keysHeld()},
    };
    const std::string expected = "kullanıcı\tŞifre-ğ1\r";
    for (const Case& c : cases) {
        KeyRecorder target("Hedef");
        showActive(wm, target);
        ASSERT_TRUE(service->captureTarget()) << c.note;
        std::shared_ptr<Outcome> outcome;  // of the first run; a second one is refused
        HotKeyService hotKey(createX11HotKeyBackend());
        hotKey.registerHotKey(HotKeyService::defaultKeyCode, HotKeyService::defaultModifiers, [&] {
            std::shared_ptr<Outcome> run = start({A::text("kullanıcı"), A::key(AutoTypeKey::tab),
                                                  A::text("Şifre-ğ1"), A::key(AutoTypeKey::enter)});
            if (!outcome) outcome = run;
        });
        ASSERT_TRUE(hotKey.isRegistered()) << c.note;

        for (const xcb_keycode_t key : {ctrl, alt, letter}) other.fakeKey(key, true);
        if (c.letterHeldMs < 0) other.fakeKey(letter, false);
        other.fakeKey(alt, false);
        other.fakeKey(ctrl, false);
        if (c.letterHeldMs >= 0) {
            spinFor(c.letterHeldMs);
            other.fakeKey(letter, false);
        }
        if (c.pressedAgainWhileTyping) {
            ASSERT_TRUE(spinUntil([&] { return target.presses() >= 4; })) << c.note;
            for (const xcb_keycode_t key : {ctrl, alt, letter}) other.fakeKey(key, true);
            spinFor(100);
            for (const xcb_keycode_t key : {letter, alt, ctrl}) other.fakeKey(key, false);
        }
        ASSERT_TRUE(spinUntil([&] { return outcome && outcome->done; }, 20000)) << c.note;
        spinFor(200);  // anything still on its way arrives
        EXPECT_EQ(outcome->error.has_value(), c.error.has_value()) << c.note;
        if (outcome->error && c.error) {
            EXPECT_EQ(*outcome->error, *c.error) << c.note;
        }
        // Compared without printing: the text stands for a password.
        const std::string wanted = c.error ? std::string() : expected;
        EXPECT_TRUE(target.typed() == wanted)
            << c.note << ": " << target.typed().size() << " bytes typed, " << wanted.size() << " expected";
        EXPECT_TRUE(noKeyDown()) << c.note;
    }
}

// What other programs do on a desktop while a run types into the target, a Qt application's
// text field. Each row does one thing once its moment has come and says what must follow: the
// text typed exactly, or the run stopped with the text the user reads, having typed nothing but
// a first part of the text into the target and nothing at all elsewhere.
TEST_F(AutoTypeX11Test, OnABusyDesktopEveryStrokeGoesToTheCheckedWindowOrTheRunStops) {
    const std::optional<xcb_keycode_t> shiftKey = other.keycodeFor(XKB_KEY_Shift_L);
    const std::optional<xcb_keycode_t> ctrlKey = other.keycodeFor(XKB_KEY_Control_R);
    ASSERT_TRUE(shiftKey && ctrlKey);
    // Far more distinct characters that the layout lacks than the keyboard map leaves key codes
    // free: each free code must serve several of them in turn.
    const QString greek = QStringLiteral("αβγδεζηθικλμνξοπρστυφχψωΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟΠΡΣΤΥΦΧΨΩ");
    const QString cjk = QStringLiteral("日月山川水火木金土天地人口目耳手足心花鳥風雲雨雪海空星石竹米猫犬");
    ASSERT_GT(static_cast<std::size_t>(greek.size() + cjk.size()), 2 * unboundKeycodes().size());
    const std::string manyMissing = (greek + cjk).toStdString();

    struct Scene {
        QtTarget& target;
        KeyRecorder& intruder;  // another program's window, not shown at first
        KeyRecorder& grabber;   // another program that may take the whole keyboard
    };
    struct Case {
        const char* note;
        int activeWindowLagMs;  // how late the window manager names a window it focused active
        bool intruderBehind;    // the intruder is a window the user opened before, behind the target
        std::string text;
        std::chrono::milliseconds settleDelay;
        std::function<bool(Scene&)> due;  // when the thing happens
        std::function<void(Scene&)> act;
        std::optional<std::string> error;  // none: the text arrives exactly
        bool everyFreeKeyCode = false;     // every key code without a keysym takes part
    };
    const auto afterPresses = [](int presses) {
        return [presses](Scene& s) { return s.target.presses() >= presses; };
    };
    const auto whileShiftIsDown = [&](Scene&) { return isDown(*shiftKey); };
    const std::string password = "Gizli-Parola-ABCDEF-123456-ghijkl";
    const Case cases[] = {
        {"a new window takes the focus; the window manager names it active 300 ms later", 300, false,
         password, std::chrono::milliseconds{20}, afterPresses(6), [](Scene& s) { s.intruder.show(); },
         focusMovedText},
        {"a new window takes the focus; the window manager names it active at once", 0, false, password,
         std::chrono::milliseconds{20}, afterPresses(6), [](Scene& s) { s.intruder.show(); }, focusMovedText},
        {"another program's window focuses itself", 0, true, password, std::chrono::milliseconds{20},
         afterPresses(6), [](Scene& s) { s.intruder.focus(); }, focusMovedText},
        {"another program grabs the keyboard", 0, false, password, std::chrono::milliseconds{20},
         afterPresses(6), [](Scene& s) { ASSERT_TRUE(s.grabber.grabKeyboard()); }, keyboardGrabbedText},
        {"Ctrl pressed in the pause after Shift and held past it", 0, false, password,
         std::chrono::milliseconds{300}, whileShiftIsDown,
         [&](Scene&) {
             other.fakeKey(*ctrlKey, true);
             spinFor(500);
             other.fakeKey(*ctrlKey, false);
         },
         std::nullopt},
        {"the target reads its events 6 s late; 48 Greek and 32 CJK characters", 0, false, manyMissing,
         std::chrono::milliseconds{20}, [](Scene&) { return true; }, [](Scene& s) { s.target.stall(6000); },
         std::nullopt, true},
        {"the target's program closes the window", 0, false, password, std::chrono::milliseconds{20},
         afterPresses(6), [](Scene& s) { s.target.close(); }, targetClosedText},
        {"the target's program ends", 0, false, password, std::chrono::milliseconds{20}, afterPresses(6),
         [](Scene& s) { s.target.quit(); }, targetClosedText},
    };
    for (const Case& c : cases) {
        WindowManagerProcess wm(c.activeWindowLagMs);
        ASSERT_TRUE(wm.isRunning()) << c.note;
        KeyRecorder intruder("Sohbet");
        KeyRecorder grabber("Parola sorusu");
        QtTarget target(QStringLiteral("Hedef"));
        ASSERT_TRUE(target.isRunning()) << c.note;
        if (c.intruderBehind) {
            intruder.show();
            ASSERT_TRUE(spinUntil([&] { return activeWindow() == intruder.window(); })) << c.note;
        }
        target.show();
        ASSERT_TRUE(spinUntil([&] { return activeWindow() == target.window(); }, 10000)) << c.note;
        ASSERT_TRUE(spinUntil([&] {
            const std::optional<AutoTypeService::Target> captured = service->captureTarget();
            return captured && captured->window == target.window();
        })) << c.note;
        const std::uint8_t locksBefore = other.lockedModifiers();
        const std::set<xcb_keycode_t> free = unboundKeycodes();
        service->modifierSettleDelay = c.settleDelay;

        Scene scene{target, intruder, grabber};
        std::shared_ptr<Outcome> outcome = start({A::text(c.text)});
        ASSERT_TRUE(spinUntil([&] { return c.due(scene) || outcome->done; }, 20000)) << c.note;
        ASSERT_FALSE(outcome->done) << c.note << ": the run ended before its moment";
        c.act(scene);
        // Bounds a run that waits for free key codes; it times nothing.
        ASSERT_TRUE(spinUntil([&] { return outcome->done; }, 120000)) << c.note;
        // A target that reads late has read everything once it shows as many characters.
        if (!c.error) spinUntil([&] { return target.typed().size() >= c.text.size(); }, 20000);
        spinFor(300);  // anything still on its way arrives

        if (c.error) {
            EXPECT_TRUE(outcome->error) << c.note << ": reported success";
            if (outcome->error) {
                EXPECT_EQ(outcome->error->description(), *c.error) << c.note;
            }
            // Compared without printing: the text stands for a password.
            EXPECT_TRUE(c.text.rfind(target.typed(), 0) == 0 && target.typed().size() < c.text.size())
                << c.note << ": the target got " << target.typed().size() << " bytes that are no first part";
        } else {
            EXPECT_FALSE(outcome->error) << c.note << ": " << outcome->error->description();
            EXPECT_TRUE(target.typed() == c.text) << c.note << ": " << target.typed().size()
                                                  << " bytes typed, " << c.text.size() << " expected";
        }
        constexpr std::uint16_t controlMask = XCB_MOD_MASK_CONTROL;
        for (const QtTarget::Key& key : target.keys()) {
            if (!key.text.empty()) {
                EXPECT_EQ(key.state & controlMask, 0) << c.note << ": a shortcut";
            }
        }
        EXPECT_EQ(intruder.presses(), 0) << c.note << ": typed into another program's window";
        EXPECT_EQ(grabber.presses(), 0) << c.note << ": typed into the program holding the keyboard";
        grabber.ungrabKeyboard();
        EXPECT_TRUE(noKeyDown()) << c.note;
        EXPECT_EQ(other.lockedModifiers(), locksBefore) << c.note;
        if (c.everyFreeKeyCode) {
            std::set<xcb_keycode_t> used;
            for (const QtTarget::Key& key : target.keys()) {
                if (free.count(key.keycode) != 0) used.insert(key.keycode);
            }
            EXPECT_EQ(used, free) << c.note;
        }
    }
}

// Key events go to the focus window, or, while the pointer rests inside it (with the focus on the
// root window or following the pointer, always), to the window under the pointer: a run types only
// while that lies in the target, wherever in it, and stops as soon as it does not.
TEST_F(AutoTypeX11Test, KeysGoOnlyWhereTheServerSendsThemInsideTheTarget) {
    const auto movePointer = [&](std::int16_t x, std::int16_t y) {
        xcb_warp_pointer(other.xcb(), XCB_NONE, other.root(), 0, 0, 0, 0, x, y);
        other.sync();
    };
    struct Scene {
        KeyRecorder& target;  // at 50, 50, 300 × 200
        KeyRecorder& beside;  // at 400, 50
    };
    // As a window manager that focuses the window under the pointer leaves the focus.
    const auto followPointerOnTheTarget = [&](Scene&) {
        movePointer(200, 150);
        xcb_set_input_focus(other.xcb(), XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT,
                            XCB_CURRENT_TIME);
        other.sync();
    };
    struct Case {
        const char* note;
        std::function<void(Scene&)> arrange;  // once the target is active
        std::function<void(Scene&)> midRun;   // after a few presses; none: nothing
        std::optional<AutoTypeError> error;   // none: the text arrives exactly
    };
    const Case cases[] = {
        {"the focus on a window inside the target", [](Scene& s) { s.target.focusInnerWindow(); }, nullptr,
         std::nullopt},
        {"the focus follows the pointer, which rests on the target", followPointerOnTheTarget, nullptr,
         std::nullopt},
        {"the focus follows the pointer, which moves to another window mid-run", followPointerOnTheTarget,
         [&](Scene&) { movePointer(500, 150); }, AutoTypeError::focusMoved()},
    };
    const std::string text = "Gizli-Parola-ABCDEF-123456";
    for (const Case& c : cases) {
        MiniWindowManager wm;
        ASSERT_TRUE(wm.isRunning()) << c.note;
        KeyRecorder beside("Yandaki");
        showActive(wm, beside);
        const std::uint32_t besidePlace[] = {400, 50};
        xcb_configure_window(other.xcb(), beside.window(), XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y,
                             besidePlace);
        KeyRecorder target("Hedef");
        showActive(wm, target);
        ASSERT_TRUE(spinUntil([&] {
            const std::optional<AutoTypeService::Target> captured = service->captureTarget();
            return captured && captured->window == target.window();
        })) << c.note;
        Scene scene{target, beside};
        c.arrange(scene);

        std::shared_ptr<Outcome> outcome = start({A::text(text)});
        if (c.midRun) {
            ASSERT_TRUE(spinUntil([&] { return target.presses() >= 4 || outcome->done; })) << c.note;
            c.midRun(scene);
        }
        ASSERT_TRUE(spinUntil([&] { return outcome->done; }, 20000)) << c.note;
        spinFor(200);  // anything still on its way arrives
        EXPECT_EQ(outcome->error.has_value(), c.error.has_value()) << c.note;
        if (outcome->error && c.error) {
            EXPECT_EQ(*outcome->error, *c.error) << c.note;
        }
        if (c.error) {
            EXPECT_TRUE(text.rfind(target.typed(), 0) == 0 && target.typed().size() < text.size()) << c.note;
        } else {
            EXPECT_EQ(target.typed(), text) << c.note;
        }
        EXPECT_EQ(beside.presses(), 0) << c.note << ": typed into another window";
        EXPECT_TRUE(noKeyDown()) << c.note;
    }
}

// Notes and custom fields hold line breaks of every convention; editors take a new line from the
// Return key only.
TEST_F(AutoTypeX11Test, LineBreaksAreTypedWithTheReturnKey) {
    MiniWindowManager wm;
    ASSERT_TRUE(wm.isRunning());
    KeyRecorder target("Notlar");
    showActive(wm, target);
    ASSERT_TRUE(service->captureTarget());
    const std::optional<xcb_keycode_t> returnKey = other.keycodeFor(XKB_KEY_Return);
    ASSERT_TRUE(returnKey);

    const Outcome outcome = run({A::text("not1\nnot2\r\nnot3\rnot4\n")});
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(target.typed(), "not1\rnot2\rnot3\rnot4\r");
    std::vector<xcb_keycode_t> breaks;
    for (const KeyRecorder::Key& key : target.keys()) {
        if (key.press && key.text == "\r") breaks.push_back(key.keycode);
    }
    EXPECT_EQ(breaks, std::vector<xcb_keycode_t>(4, *returnKey));
}

TEST_F(AutoTypeX11Test, ATargetBehindAnotherWindowIsRaisedAndFocusedFirst) {
    MiniWindowManager wm;
    ASSERT_TRUE(wm.isRunning());
    KeyRecorder target("Hedef");
    showActive(wm, target);
    ASSERT_EQ(service->captureTarget()->window, target.window());
    KeyRecorder front("Öndeki");
    showActive(wm, front);

    const Outcome outcome = run({A::text("ab"), A::key(AutoTypeKey::enter)});
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(wm.activationRequests(), 1);
    EXPECT_EQ(wm.stackingOrder().back(), target.window());
    EXPECT_EQ(target.typed(), "ab\r");
    EXPECT_EQ(front.presses(), 0);
}

TEST_F(AutoTypeX11Test, WithoutAWindowManagerTheTargetIsRaisedAndFocusedDirectly) {
    KeyRecorder target("Hedef");
    KeyRecorder front("Öndeki");
    target.show();
    front.show();
    target.focus();
    ASSERT_TRUE(spinUntil([&] {
        const std::optional<AutoTypeService::Target> captured = service->captureTarget();
        return captured && captured->window == target.window();
    }));
    front.focus();

    const Outcome outcome = run({A::text("xy")});
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(target.typed(), "xy");
    EXPECT_EQ(front.presses(), 0);
}

TEST_F(AutoTypeX11Test, ADestroyedTargetGivesNoTarget) {
    MiniWindowManager wm;
    ASSERT_TRUE(wm.isRunning());
    KeyRecorder target("Hedef");
    showActive(wm, target);
    ASSERT_TRUE(service->captureTarget());
    target.destroy();
    KeyRecorder front("Öndeki");
    showActive(wm, front);

    const Outcome outcome = run({A::text("a")});
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error, AutoTypeError::noTargetApplication());
    EXPECT_EQ(front.presses(), 0);
    EXPECT_EQ(wm.activationRequests(), 0);
}

TEST_F(AutoTypeX11Test, FocusMovedMidRunStopsTheRunAndASecondRunIsRefused) {
    MiniWindowManager wm;
    ASSERT_TRUE(wm.isRunning());
    KeyRecorder target("Hedef");
    KeyRecorder elsewhere("Başka");
    showActive(wm, elsewhere);
    showActive(wm, target);
    service->startTrackingFrontmostApplication();
    ASSERT_TRUE(spinUntil([&] {
        return service->targetApplication() && service->targetApplication()->window == target.window();
    }));

    std::shared_ptr<Outcome> first = start({A::text("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAA")});
    const Outcome second = run({A::text("b")});
    ASSERT_TRUE(second.error);
    EXPECT_EQ(*second.error, AutoTypeError::alreadyRunning());

    // The user clicks another window while the run types (Shift held for every letter).
    ASSERT_TRUE(spinUntil([&] { return target.presses() >= 6 || first->done; }));
    wm.activate(elsewhere.window());
    ASSERT_TRUE(spinUntil([&] { return first->done; }, 20000));
    ASSERT_TRUE(first->error);
    EXPECT_EQ(*first->error, AutoTypeError::focusMoved());
    EXPECT_LT(target.typed().size(), 30u);
    spinFor(200);
    EXPECT_EQ(elsewhere.presses(), 0) << "nothing typed into the window that took the focus";
    EXPECT_TRUE(noKeyDown()) << "Shift and every other key released";
}

}  // namespace
