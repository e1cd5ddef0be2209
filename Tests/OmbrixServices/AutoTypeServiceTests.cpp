#include "OmbrixServices/Platform/X11AutoTypeBackend.h"
#include "OmbrixServices/Services/AutoTypeService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ServicesApplication.h"

namespace {

using std::chrono::milliseconds;
using A = AutoTypeAction;
using WindowId = AutoTypeService::WindowId;
using KeyStroke = AutoTypeService::KeyStroke;

bool spinUntil(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(10000);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

constexpr std::uint32_t shiftKey = 50;
constexpr std::uint32_t controlKey = 37;

// The desktop as the test sets it up: windows, the active one, the keyboard, and a log of every
// key event and activation request in order.
struct FakeDesktop {
    bool canSynthesize = true;
    WindowId active = 0;
    // Where the keyboard focus is when it is not where the desktop says: none, with the active
    // window.
    std::optional<WindowId> focus;
    bool keyboardGrabbed = false;  // by another program
    bool grabbedWhenTypingStarts = false;
    int spareKeyWaits = 0;  // answers "wait" for a character on a spare key code this many times
    std::set<WindowId> windows;
    std::set<WindowId> own;
    std::map<WindowId, QString> names;
    std::map<WindowId, QString> titles;
    bool activationWorks = true;
    int keyPollsHeld = 0;  // -1: held for ever
    bool locksCanBePutAside = true;
    int failingSend = 0;  // the n-th key event (from 1) cannot be sent; 0: none
    int spareKeyAsks = 0;
    int sends = 0;
    std::set<std::uint32_t> down;
    std::vector<std::string> log;
    std::function<void(const std::string&)> onEvent;
    std::function<void()> onActiveChange;
    int watches = 0;

    void record(const std::string& entry) {
        log.push_back(entry);
        if (onEvent) onEvent(entry);
    }
};

class FakeBackend : public AutoTypeService::Backend {
  public:
    explicit FakeBackend(FakeDesktop& desktop) : d(desktop) {}

    bool canSynthesize() override { return d.canSynthesize; }
    void watchActiveWindow(std::function<void()> onChange) override {
        ++d.watches;
        d.onActiveChange = std::move(onChange);
    }
    WindowId activeWindow() override { return d.active; }
    bool hasFocus(WindowId w) override { return d.focus.value_or(d.active) == w; }
    bool isOwnWindow(WindowId w) override { return d.own.count(w) != 0; }
    bool windowExists(WindowId w) override { return d.windows.count(w) != 0; }
    QString applicationName(WindowId w) override { return d.names.count(w) ? d.names[w] : QString(); }
    std::optional<QString> windowTitle(WindowId w) override {
        if (!d.titles.count(w)) return std::nullopt;
        return d.titles[w];
    }
    void activate(WindowId w) override {
        d.record("activate " + std::to_string(w));
        if (d.activationWorks) QTimer::singleShot(30, [this, w] { d.active = w; });
    }
    bool keysHeld() override {
        if (d.keyPollsHeld == 0) return false;
        if (d.keyPollsHeld > 0) --d.keyPollsHeld;
        return true;
    }
    Outcome beginTyping(WindowId) override {
        d.record("begin");
        if (d.grabbedWhenTypingStarts) return Outcome::keyboardGrabbed;
        return d.locksCanBePutAside ? Outcome::done : Outcome::failed;
    }
    std::optional<CharacterStrokes> strokes(QStringView character) override {
        const auto of = [](std::vector<KeyStroke> strokes) { return CharacterStrokes{std::move(strokes)}; };
        if (character == u"a") return of({KeyStroke{38, {}}});
        if (character == u"b") return of({KeyStroke{56, {}}});
        if (character == u"B") return of({KeyStroke{56, {shiftKey}}});
        if (character == u"e\u0301") return of({KeyStroke{26, {}}, KeyStroke{200, {}}});
        if (character == u"Ω") {
            d.record("spare key asked");
            if (d.spareKeyWaits-- > 0) return CharacterStrokes{{}, milliseconds{30}};
            return of({KeyStroke{201, {}}});
        }
        return std::nullopt;
    }
    std::optional<KeyStroke> stroke(AutoTypeKey key) override {
        switch (key) {
            case AutoTypeKey::tab:
                return KeyStroke{23, {}};
            case AutoTypeKey::enter:
                return KeyStroke{36, {}};
            case AutoTypeKey::backspace:
                return KeyStroke{22, {}};
            default:
                return std::nullopt;
        }
    }
    std::optional<KeyStroke> selectAllStroke() override { return KeyStroke{38, {controlKey}}; }
    Outcome pressKey(WindowId window, std::uint32_t keycode, const std::vector<std::uint32_t>& ours,
                     bool userKeys) override {
        if (++d.sends == d.failingSend) return Outcome::failed;
        if (!hasFocus(window)) return Outcome::focusMoved;
        if (userKeys && keysHeld()) return Outcome::keyHeld;
        if (d.keyboardGrabbed) return Outcome::keyboardGrabbed;
        // The run says which keys it holds: exactly those that went down.
        if (std::set<std::uint32_t>(ours.begin(), ours.end()) != d.down) d.record("keys held misreported");
        d.down.insert(keycode);
        d.record("down " + std::to_string(keycode));
        return Outcome::done;
    }
    bool releaseKey(std::uint32_t keycode) override {
        if (++d.sends == d.failingSend) return false;
        d.down.erase(keycode);
        d.record("up " + std::to_string(keycode));
        return true;
    }
    void endRun() override { d.record("end"); }

  private:
    FakeDesktop& d;
};

struct Outcome {
    bool done = false;
    std::optional<AutoTypeError> error;
};

class AutoTypeServiceTest : public ::testing::Test {
  protected:
    AutoTypeServiceTest() {
        ensureApplication();
        desktop.windows = {7, 9};
        desktop.names = {{7, QStringLiteral("Gedit")}};
        desktop.active = 7;
        service.keystrokeDelay = milliseconds{1};
        service.postActivationDelay = milliseconds{1};
        service.modifierSettleDelay = milliseconds{1};
        service.activationTimeout = milliseconds{5000};
        service.captureTarget();
    }

    Outcome run(std::vector<AutoTypeAction> actions) {
        auto outcome = std::make_shared<Outcome>();
        service.perform(std::move(actions), [outcome](std::optional<AutoTypeError> error) {
            outcome->done = true;
            outcome->error = std::move(error);
        });
        EXPECT_TRUE(spinUntil([&] { return outcome->done; }));
        return *outcome;
    }

    FakeDesktop desktop;
    AutoTypeService service{std::make_unique<FakeBackend>(desktop)};
};

using Log = std::vector<std::string>;

TEST_F(AutoTypeServiceTest, TypesEveryStepWithModifiersAroundTheKey) {
    const Outcome outcome = run({A::text("aB"), A::key(AutoTypeKey::tab), A::delay(0), A::text(""),
                                 A::clearField(), A::text("e\u0301"), A::key(AutoTypeKey::enter)});
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(desktop.log, (Log{"begin",                                     // locks put aside
                                "down 38", "up 38",                          // a
                                "down 50", "down 56", "up 56",    "up 50",   // Shift+B
                                "down 23", "up 23",                          // Tab
                                "down 37", "down 38", "up 38",    "up 37",   // Ctrl+A
                                "down 22", "up 22",                          // Backspace
                                "down 26", "up 26",   "down 200", "up 200",  // e, combining acute
                                "down 36", "up 36",   "end"}));
    EXPECT_TRUE(desktop.down.empty());
}

TEST_F(AutoTypeServiceTest, OutcomesOfARun) {
    struct Case {
        const char* note;
        std::function<void(FakeDesktop&, AutoTypeService&)> setUp;
        std::vector<AutoTypeAction> actions;
        std::optional<AutoTypeError> error;
        Log log;
    };
    const std::vector<Case> cases = {
        {"empty list: nothing is checked or touched",
         [](FakeDesktop& d, AutoTypeService& s) {
             d.canSynthesize = false;
             s.clearTarget();
         },
         {},
         std::nullopt,
         {}},
        {"no X11 display with XTEST",
         [](FakeDesktop& d, AutoTypeService&) { d.canSynthesize = false; },
         {A::text("a")},
         AutoTypeError::accessibilityPermissionMissing(),
         {}},
        {"no target captured",
         [](FakeDesktop&, AutoTypeService& s) { s.clearTarget(); },
         {A::text("a")},
         AutoTypeError::noTargetApplication(),
         {"end"}},
        {"target window destroyed",
         [](FakeDesktop& d, AutoTypeService&) { d.windows.erase(7); },
         {A::text("a")},
         AutoTypeError::noTargetApplication(),
         {"end"}},
        {"only a pause still activates",
         [](FakeDesktop& d, AutoTypeService&) { d.active = 9; },
         {A::delay(0)},
         std::nullopt,
         {"activate 7", "begin", "end"}},
        {"target in front is not activated again",
         [](FakeDesktop&, AutoTypeService&) {},
         {A::text("b")},
         std::nullopt,
         {"begin", "down 56", "up 56", "end"}},
        {"target never comes to the front",
         [](FakeDesktop& d, AutoTypeService& s) {
             d.active = 9;
             d.activationWorks = false;
             s.activationTimeout = milliseconds{100};
         },
         {A::text("a")},
         AutoTypeError::targetActivationFailed("Gedit"),
         {"activate 7", "end"}},
        {"a target without a name is called Uygulama",
         [](FakeDesktop& d, AutoTypeService& s) {
             d.names.clear();
             s.captureTarget();
             d.active = 9;
             d.activationWorks = false;
             s.activationTimeout = milliseconds{100};
         },
         {A::text("a")},
         AutoTypeError::targetActivationFailed("Uygulama"),
         {"activate 7", "end"}},
        {"keys let go after a few polls",
         [](FakeDesktop& d, AutoTypeService&) { d.keyPollsHeld = 3; },
         {A::text("a")},
         std::nullopt,
         {"begin", "down 38", "up 38", "end"}},
        {"a key still held after a second: nothing typed, the locks untouched",
         [](FakeDesktop& d, AutoTypeService&) { d.keyPollsHeld = -1; },
         {A::text("a")},
         AutoTypeError::keysHeld(),
         {"end"}},
        {"a key pressed mid-run: typing waits until it is up",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d, pressed = false](const std::string& e) mutable {
                 if (e == "up 38" && !pressed) {
                     pressed = true;
                     d.keyPollsHeld = 3;
                 }
                 if (e.rfind("down", 0) == 0 && d.keyPollsHeld != 0) d.log.push_back("typed while held");
             };
         },
         {A::text("aa"), A::key(AutoTypeKey::enter)},
         std::nullopt,
         {"begin", "down 38", "up 38", "down 38", "up 38", "down 36", "up 36", "end"}},
        {"a key held mid-run past the wait",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d](const std::string& e) {
                 if (e == "up 38") d.keyPollsHeld = -1;
             };
         },
         {A::text("aa")},
         AutoTypeError::keysHeld(),
         {"begin", "down 38", "up 38", "end"}},
        {"key wait switched off",
         [](FakeDesktop& d, AutoTypeService& s) {
             d.keyPollsHeld = -1;
             s.waitForKeyRelease = false;
         },
         {A::text("a")},
         std::nullopt,
         {"begin", "down 38", "up 38", "end"}},
        {"the locks cannot be put aside",
         [](FakeDesktop& d, AutoTypeService&) { d.locksCanBePutAside = false; },
         {A::text("a")},
         AutoTypeError::eventCreationFailed(),
         {"begin", "end"}},
        {"a character that cannot be typed stops the run",
         [](FakeDesktop&, AutoTypeService&) {},
         {A::text("a?a")},
         AutoTypeError::eventCreationFailed(),
         {"begin", "down 38", "up 38", "end"}},
        {"a key event that cannot be sent releases the held Shift",
         [](FakeDesktop& d, AutoTypeService&) { d.failingSend = 2; },
         {A::text("B")},
         AutoTypeError::eventCreationFailed(),
         {"begin", "down 50", "up 56", "up 50", "end"}},
        {"focus moved to another window mid-run",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d](const std::string& e) {
                 if (e == "up 38") d.active = 9;
             };
         },
         {A::text("aaa"), A::key(AutoTypeKey::enter)},
         AutoTypeError::focusMoved(),
         {"begin", "down 38", "up 38", "end"}},
        {"the keyboard focus moved before the desktop names another window active",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d](const std::string& e) {
                 if (e == "up 38") d.focus = 9;
             };
         },
         {A::text("aaa")},
         AutoTypeError::focusMoved(),
         {"begin", "down 38", "up 38", "end"}},
        {"the keyboard focus leaves in the pause after Shift",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d](const std::string& e) {
                 if (e == "down 50") d.focus = 9;
             };
         },
         {A::text("B")},
         AutoTypeError::focusMoved(),
         {"begin", "down 50", "up 50", "end"}},
        {"the target window closes between two characters",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d](const std::string& e) {
                 if (e != "up 38") return;
                 d.windows.erase(7);
                 d.active = 0;
             };
         },
         {A::text("aaa")},
         AutoTypeError::targetClosed(),
         {"begin", "down 38", "up 38", "end"}},
        {"the target window closes in the pause after Shift",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d](const std::string& e) {
                 if (e != "down 50") return;
                 d.windows.erase(7);
                 d.focus = 0;
             };
         },
         {A::text("B")},
         AutoTypeError::targetClosed(),
         {"begin", "down 50", "up 50", "end"}},
        {"another program grabs the keyboard mid-run",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d](const std::string& e) {
                 if (e == "up 38") d.keyboardGrabbed = true;
             };
         },
         {A::text("aaa")},
         AutoTypeError::keyboardGrabbed(),
         {"begin", "down 38", "up 38", "end"}},
        {"another program holds the keyboard when typing starts",
         [](FakeDesktop& d, AutoTypeService&) { d.grabbedWhenTypingStarts = true; },
         {A::text("a")},
         AutoTypeError::keyboardGrabbed(),
         {"begin", "end"}},
        {"a key pressed in the pause after Shift: the stroke comes again once it is up",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d, pressed = false](const std::string& e) mutable {
                 if (e == "down 50" && !pressed) {
                     pressed = true;
                     d.keyPollsHeld = 3;
                 }
             };
         },
         {A::text("Ba")},
         std::nullopt,
         {"begin", "down 50", "up 50", "down 50", "down 56", "up 56", "up 50", "down 38", "up 38", "end"}},
        {"a key held from the pause after Shift past the wait",
         [](FakeDesktop& d, AutoTypeService&) {
             d.onEvent = [&d](const std::string& e) {
                 if (e == "down 50") d.keyPollsHeld = -1;
             };
         },
         {A::text("Ba")},
         AutoTypeError::keysHeld(),
         {"begin", "down 50", "up 50", "end"}},
        {"line breaks of every convention are typed with the Return key",
         [](FakeDesktop&, AutoTypeService&) {},
         {A::text("a\r\nb\na\rb")},
         std::nullopt,
         {"begin", "down 38", "up 38", "down 36", "up 36", "down 56", "up 56", "down 36", "up 36", "down 38",
          "up 38", "down 36", "up 36", "down 56", "up 56", "end"}},
        {"a spare key code must keep its keysym a while: the character waits for it",
         [](FakeDesktop& d, AutoTypeService&) { d.spareKeyWaits = 2; },
         {A::text("aΩa")},
         std::nullopt,
         {"begin", "down 38", "up 38", "spare key asked", "spare key asked", "spare key asked", "down 201",
          "up 201", "down 38", "up 38", "end"}},
    };
    for (const Case& c : cases) {
        FakeDesktop desktop;
        desktop.windows = {7, 9};
        desktop.names = {{7, QStringLiteral("Gedit")}};
        desktop.active = 7;
        AutoTypeService service(std::make_unique<FakeBackend>(desktop));
        service.keystrokeDelay = milliseconds{1};
        service.postActivationDelay = milliseconds{1};
        service.modifierSettleDelay = milliseconds{1};
        service.activationTimeout = milliseconds{5000};
        service.captureTarget();
        c.setUp(desktop, service);

        auto outcome = std::make_shared<Outcome>();
        service.perform(c.actions, [outcome](std::optional<AutoTypeError> error) {
            outcome->done = true;
            outcome->error = std::move(error);
        });
        EXPECT_FALSE(outcome->done) << c.note << ": completion runs from the event loop";
        ASSERT_TRUE(spinUntil([&] { return outcome->done; })) << c.note;
        EXPECT_EQ(outcome->error.has_value(), c.error.has_value()) << c.note;
        if (outcome->error && c.error) {
            EXPECT_EQ(outcome->error->description(), c.error->description()) << c.note;
        }
        EXPECT_EQ(desktop.log, c.log) << c.note;
        EXPECT_TRUE(desktop.down.empty()) << c.note;
        EXPECT_FALSE(service.isRunning()) << c.note;
    }
}

TEST_F(AutoTypeServiceTest, ASecondRunIsRefusedWhileOneIsGoing) {
    auto first = std::make_shared<Outcome>();
    auto second = std::make_shared<Outcome>();
    service.perform({A::delay(100), A::text("a")}, [first](std::optional<AutoTypeError> e) {
        first->done = true;
        first->error = std::move(e);
    });
    EXPECT_TRUE(service.isRunning());
    service.perform({A::text("b")}, [second](std::optional<AutoTypeError> e) {
        second->done = true;
        second->error = std::move(e);
    });
    ASSERT_TRUE(spinUntil([&] { return first->done && second->done; }));
    EXPECT_FALSE(first->error);
    ASSERT_TRUE(second->error);
    EXPECT_EQ(*second->error, AutoTypeError::alreadyRunning());
    EXPECT_EQ(second->error->description(), "Otomatik yazma zaten sürüyor.");
    EXPECT_EQ(desktop.log, (Log{"begin", "down 38", "up 38", "end"}));

    // Once it has ended, the next run goes ahead.
    EXPECT_FALSE(run({A::text("b")}).error);
}

TEST_F(AutoTypeServiceTest, CancelReleasesTheKeysItHolds) {
    service.modifierSettleDelay = milliseconds{200};
    desktop.onEvent = [this](const std::string& e) {
        if (e == "down 50") QTimer::singleShot(0, &service, [this] { service.cancel(); });
    };
    const Outcome outcome = run({A::text("Bab")});
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error, AutoTypeError::cancelled());
    EXPECT_EQ(desktop.log, (Log{"begin", "down 50", "up 50", "end"}));
    EXPECT_TRUE(desktop.down.empty());
}

TEST_F(AutoTypeServiceTest, TargetIsTheLastActiveWindowThatIsNotOurs) {
    desktop.own = {5};
    service.clearTarget();
    desktop.active = 5;
    EXPECT_FALSE(service.captureTarget()) << "our own window is never the target";

    service.startTrackingFrontmostApplication();
    service.startTrackingFrontmostApplication();
    EXPECT_EQ(desktop.watches, 1);

    desktop.active = 7;
    desktop.onActiveChange();
    EXPECT_EQ(service.targetApplication(), (AutoTypeService::Target{7, QStringLiteral("Gedit")}));
    desktop.active = 5;
    desktop.onActiveChange();
    EXPECT_EQ(service.captureTarget(), (AutoTypeService::Target{7, QStringLiteral("Gedit")}));
}

TEST_F(AutoTypeServiceTest, FrontmostWindowTitleFallsBackToTheApplicationName) {
    struct Case {
        std::optional<QString> title;
        std::optional<QString> expected;
        const char* note;
    };
    const Case cases[] = {
        {QStringLiteral("Giriş — Banka"), QStringLiteral("Giriş — Banka"), "the window's title"},
        {QString(), QStringLiteral("Gedit"), "an empty title gives the application's name"},
        {std::nullopt, QStringLiteral("Gedit"), "no title gives the application's name"},
    };
    for (const Case& c : cases) {
        desktop.titles.clear();
        if (c.title) desktop.titles[7] = *c.title;
        EXPECT_EQ(service.frontmostWindowTitle(), c.expected) << c.note;
    }
    service.clearTarget();
    desktop.active = 0;
    EXPECT_EQ(service.frontmostWindowTitle(), std::nullopt) << "neither a target nor an active window";
}

TEST(AutoTypeServiceWithoutDisplay, StaysInactiveAndReportsThePermissionError) {
    ensureApplication();
    AutoTypeService service(createX11AutoTypeBackend([] { return nullptr; }));
    EXPECT_FALSE(service.hasAccessibilityPermission());
    service.startTrackingFrontmostApplication();
    EXPECT_FALSE(service.captureTarget());
    EXPECT_FALSE(service.frontmostWindowTitle());

    auto outcome = std::make_shared<Outcome>();
    service.perform({A::text("a")}, [outcome](std::optional<AutoTypeError> error) {
        outcome->done = true;
        outcome->error = std::move(error);
    });
    ASSERT_TRUE(spinUntil([&] { return outcome->done; }));
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(*outcome->error, AutoTypeError::accessibilityPermissionMissing());
}

}  // namespace
