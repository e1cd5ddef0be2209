#pragma once

// What the tests of the application object share: the application over fakes.

#include <QApplication>
#include <QMainWindow>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/HotKeyService.h"
#include "OmbrixShell/OmbrixApp.h"
#include "OmbrixState/LockScreenMetrics.h"
#include "ShellFixture.h"
#include "Support/MainWindowFixture.h"
#include "Support/QuietDesktop.h"

namespace shell {

// The key grabs of the desktop: one combination at a time, pressed when the test says so.
struct Grabs {
    bool heldByAnotherProgram = false;  // every combination is refused while true
    bool refused = false;               // every combination is refused for another reason
    QStringList lockStatesTaken;        // else the states of the lock keys another program holds
    std::optional<HotKeyService::Registration> grabbed;
    std::function<void(std::uint32_t)> onPress;
    std::uint32_t id = 0;

    void press() {
        if (onPress) onPress(id);
    }
};

class GrabBackend final : public HotKeyService::Backend {
  public:
    explicit GrabBackend(Grabs& grabs) : grabs_(grabs) {}
    HotKeyService::Grant grab(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t id,
                              std::function<void(std::uint32_t)> onPress) override {
        if (grabs_.heldByAnotherProgram) {
            HotKeyService::Grant refused;
            refused.takenByOther = true;
            return refused;
        }
        if (grabs_.refused) return false;
        grabs_.grabbed = HotKeyService::Registration{keyCode, modifiers};
        grabs_.id = id;
        grabs_.onPress = std::move(onPress);
        HotKeyService::Grant granted(true);
        granted.lockStatesTaken = grabs_.lockStatesTaken;
        return granted;
    }
    void ungrab() override {
        grabs_.grabbed.reset();
        grabs_.onPress = nullptr;
    }
    QString keyText(std::uint32_t) const override { return {}; }

  private:
    Grabs& grabs_;
};

// A desktop whose active window belongs to another application.
class OtherApplicationInFront final : public QuietDesktop {
  public:
    static constexpr WindowId window = 77;

    void watchActiveWindow(std::function<void()>) override { ++watches; }
    WindowId activeWindow() override { return window; }
    bool windowExists(WindowId) override { return true; }
    QString applicationName(WindowId) override { return QStringLiteral("Tarayıcı"); }

    int watches = 0;
};

// What an App takes in place of its fakes.
struct AppOptions {
    // The file dialogs; when none, every dialog is cancelled.
    std::shared_ptr<FilePanels> panels = std::make_shared<CancelledPanels>();
    // Qt's own quit (QCoreApplication::quit, which closes the windows first) in place of a count.
    bool qtQuit = false;
};

// The application over fakes: the state's outside world from the harness, services over fake
// desktops, and a quit that only counts.
struct App {
    // `adjust` changes the state's outside world before the application is made.
    explicit App(const std::function<void(App&, AppStateDependencies&)>& adjust = {},
                 AppOptions options = {}) {
        auto desktopBackend = std::make_unique<OtherApplicationInFront>();
        desktop = desktopBackend.get();
        autoType = std::make_unique<AutoTypeService>(std::move(desktopBackend));
        hotKeys = std::make_unique<HotKeyService>(std::make_unique<GrabBackend>(grabs));

        OmbrixApp::Dependencies deps;
        deps.preferences = &h.preferences;
        deps.clipboard = &clipboard;
        deps.autoType = autoType.get();
        deps.hotKeys = hotKeys.get();
        deps.lockScreenMetrics = &metrics;
        deps.state = h.dependencies();
        if (adjust) adjust(*this, deps.state);
        // Empty: Qt's own file dialogs over the main window.
        deps.panels = std::move(options.panels);
        if (!options.qtQuit) deps.quit = [this] { ++quits; };
        deps.screenArea = [](const QWidget&) { return std::optional<QRect>(screen); };
        app = std::make_unique<OmbrixApp>(std::move(deps));
    }

    void show() {
        app->show();
        QApplication::setActiveWindow(window());
        settle();
    }

    QMainWindow* window() const { return app->mainWindow(); }
    AppState& state() const { return app->state(); }

    // A 1600 × 1000 screen whose top 25 pixels belong to a panel.
    static constexpr QRect screen{0, 25, 1600, 975};

    fakes::Harness h;
    HandClipboard clipboard;
    Grabs grabs;
    OtherApplicationInFront* desktop = nullptr;
    std::unique_ptr<AutoTypeService> autoType;
    std::unique_ptr<HotKeyService> hotKeys;
    LockScreenMetrics metrics;
    int quits = 0;
    std::unique_ptr<OmbrixApp> app;
};

}  // namespace shell
