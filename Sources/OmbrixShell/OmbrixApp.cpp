#include "OmbrixShell/OmbrixApp.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <algorithm>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDrag>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QSessionManager>
#include <QTimer>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixServices/Services/HotKeyService.h"
#include "OmbrixShell/HotKeyHandler.h"
#include "OmbrixShell/OmbrixCommands.h"
#include "OmbrixShell/TerminationSignals.h"
#include "OmbrixShell/WindowSizer.h"
#include "OmbrixState/FilePanels.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixUI/ConflictDialog.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/RootView.h"
#include "OmbrixUI/SettingsView.h"

namespace {

AppStateDependencies withPreferences(AppStateDependencies dependencies, Preferences& preferences) {
    dependencies.preferences = &preferences;
    return dependencies;
}

}  // namespace

bool OmbrixApp::keepSecretsOutOfCrashDumps() {
    // Not dumpable stops the kernel writing a core file whatever the limit says (unless the
    // administrator asked for root-only dumps of such processes); the zero limit covers that
    // case for core handlers that honour it.
    const bool notDumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    rlimit none{};
    const bool noCoreFile = ::setrlimit(RLIMIT_CORE, &none) == 0;
    return notDumpable && noCoreFile;
}

OmbrixApp::OmbrixApp(Dependencies dependencies, QObject* parent)
    : QObject(parent),
      preferences_(dependencies.preferences ? *dependencies.preferences : Preferences::shared()),
      clipboard_(dependencies.clipboard ? *dependencies.clipboard : ClipboardService::shared()),
      autoType_(dependencies.autoType ? *dependencies.autoType : AutoTypeService::shared()),
      hotKeys_(dependencies.hotKeys ? *dependencies.hotKeys : HotKeyService::shared()),
      state_(std::make_unique<AppState>(withPreferences(std::move(dependencies.state), preferences_))),
      window_(std::make_unique<QMainWindow>()),
      panels_(dependencies.panels ? std::move(dependencies.panels)
                                  : std::make_shared<DialogFilePanels>(window_.get())),
      quit_(dependencies.quit) {
    if (!quit_) {
        // On the next turn: a quit from inside the main window's close event would ask that
        // window to close once more.
        quit_ = [] { QTimer::singleShot(0, qApp, &QCoreApplication::quit); };
    }
    LockScreenMetrics& metrics =
        dependencies.lockScreenMetrics ? *dependencies.lockScreenMetrics : LockScreenMetrics::shared();

    window_->setObjectName(QStringLiteral("main"));
    rootView_ = new RootView(*state_, preferences_, clipboard_, *panels_, metrics);
    window_->setCentralWidget(rootView_);
    window_->setWindowTitle(rootView_->windowTitleText());
    connect(rootView_, &RootView::windowTitleTextChanged, window_.get(), &QWidget::setWindowTitle);
    installMenuBar();

    // The window opens at the unlocked size; the sizer fixes it to the lock screen as soon as
    // that has measured itself.
    window_->resize(WindowSizer::defaultUnlockedSize);
    sizer_ = dependencies.screenArea ? new WindowSizer(window_.get(), std::move(dependencies.screenArea))
                                     : new WindowSizer(window_.get());
    sizer_->follow(*state_, metrics);
    rootView_->setWindowShaper([sizer = QPointer<WindowSizer>(sizer_)](std::optional<int> lockScreenHeight) {
        using Mode = WindowSizer::Mode;
        if (sizer) sizer->apply(lockScreenHeight ? Mode::compact(*lockScreenHeight) : Mode::full());
    });

    state_->setConflictResolver([this](const QString& name) { return askAboutConflict(name); });
    connect(state_.get(), &AppState::isSavingChanged, this, &OmbrixApp::busyChanged);
    connect(state_.get(), &AppState::isWorkingChanged, this, &OmbrixApp::busyChanged);

    window_->installEventFilter(this);
    connect(&preferences_, &Preferences::hotKeyChanged, this, &OmbrixApp::registerGlobalHotKey);
    connect(&hotKeys_, &HotKeyService::registrationChanged, this, [this] {
        // Had after all (the other program let go): what the status bar said no longer holds.
        if (hotKeyNotice_ && hotKeys_.status() == HotKeyService::Status::registered &&
            state_->statusMessage() == hotKeyNotice_) {
            state_->setStatusMessage(std::nullopt);
        }
    });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QCoreApplication::aboutToQuit, this, &OmbrixApp::shutdown);
#ifndef QT_NO_SESSIONMANAGER
        connect(app, &QGuiApplication::commitDataRequest, this, &OmbrixApp::commitData, Qt::DirectConnection);
#endif
    }
}

OmbrixApp::~OmbrixApp() {
    if (busyCursor_) QApplication::restoreOverrideCursor();
    // The registered handler calls back into this object.
    if (!shutDown_) hotKeys_.unregister();
    // The commands, the root view and its sheets refer to the state: they go first.
    delete commands_;
    window_->removeEventFilter(this);
    window_.reset();
}

void OmbrixApp::installMenuBar() {
    OmbrixCommands::Callbacks callbacks;
    callbacks.openSettings = [this] { showSettings(); };
    callbacks.quit = [this] { quit(); };
    callbacks.showSidebar = [this](bool shown) {
        if (MainView* main = rootView_->mainView()) main->setSidebarVisible(shown);
    };
    commands_ = new OmbrixCommands(*state_, *panels_, clipboard_, std::move(callbacks), this);
    commands_->populate(*window_->menuBar());
    // A command given from the settings window shows its result in the main window: that one
    // comes forward. Settings, quitting and clearing the clipboard have nothing to show there.
    using C = OmbrixCommands::Command;
    for (std::size_t i = 0; i < OmbrixCommands::commandCount; ++i) {
        const auto command = static_cast<C>(i);
        if (command == C::settings || command == C::quit || command == C::clearClipboard) continue;
        connect(commands_->action(command), &QAction::triggered, this, [this] {
            if (QApplication::activeWindow() != window_.get()) show();
        });
    }
}

void OmbrixApp::show() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void OmbrixApp::windowShown() {
    state_->restoreRecentDatabase();
    registerGlobalHotKey();
    if (!hotKeyLookedAt_) {
        // Said once, where the user looks: the settings say it for as long as it holds.
        hotKeyLookedAt_ = true;
        hotKeyNotice_ = HotKeyHandler::unavailableMessage(
            hotKeys_, hotKeys_.displayText(preferences_.hotKeyCode(), preferences_.hotKeyModifiers()));
        if (hotKeyNotice_) state_->setStatusMessage(hotKeyNotice_);
    }
    autoType_.startTrackingFrontmostApplication();
}

void OmbrixApp::registerGlobalHotKey() {
    hotKeys_.registerHotKey(preferences_.hotKeyCode(), preferences_.hotKeyModifiers(), hotKeyHandler());
}

std::function<void()> OmbrixApp::hotKeyHandler() {
    return HotKeyHandler(*state_, autoType_);
}

void OmbrixApp::showSettings() {
    SettingsView& settings = SettingsView::presentShared(preferences_, autoType_);
    settings.followHotKey(hotKeys_);
    // Coming back to the settings window is a moment to try again for a hot key another program
    // held.
    settings.installEventFilter(this);
    hotKeys_.registerAgainIfRefused();
    // The menu bar is the main window's; its keys work in the settings window all the same.
    commands_->bindKeysIn(settings);
}

bool OmbrixApp::prepareToQuit() {
    // Typing into another window stops first: its keys go up and the keyboard is as it was.
    autoType_.cancel();
    // Written to its file as the save command writes it, without locking: the quit may still be
    // refused elsewhere (the session). Nothing to save without an open, changed database; an
    // unlock under way is stopped.
    if (state_->settleBeforeQuitting()) return true;
    // The save failed or the user kept editing: the status bar of the main window says why.
    window_->show();
    window_->raise();
    window_->activateWindow();
    return false;
}

void OmbrixApp::quit() {
    if (state_->isSaving()) {
        endAfterSave_ = std::max(endAfterSave_, End::quit);
        return;
    }
    if (prepareToQuit()) quit_();
}

void OmbrixApp::terminate() {
    terminating_ = true;
    // Typing into another window stops first, as on any quit: its keys go up.
    autoType_.cancel();
    // A question open now is answered for the user: the changes go beside the file, and the
    // save that asked carries on from there before the program ends.
    if (conflictDialog_) {
        conflictDialog_->answerForTermination();
        quit_();
        return;
    }
    if (state_->isSaving()) {
        endAfterSave_ = End::terminate;
        // The save ends on the stack below a menu or a drag opened meanwhile: they close.
        for (int open = 0; open < 8 && QApplication::activePopupWidget(); ++open)
            QApplication::activePopupWidget()->close();
        QDrag::cancel();
        return;
    }
    if (state_->settleForTermination()) {
        quit_();
        return;
    }
    // Not even a file beside it could be written: the changes stay open, and the window says
    // why (the session may still wait for the user).
    window_->show();
    window_->raise();
}

void OmbrixApp::followTerminationSignals(TerminationSignals& source) {
    connect(&source, &TerminationSignals::received, this, &OmbrixApp::terminate);
}

ConflictChoice OmbrixApp::askAboutConflict(const QString& fileName) {
    ConflictChoice choice;
    if (terminating_) {
        choice.action = ConflictChoice::Action::writeBeside;
        return choice;
    }
    if (busyCursor_) QApplication::restoreOverrideCursor();
    ConflictDialog dialog(fileName, window_.get());
    conflictDialog_ = &dialog;
    const int answer = dialog.exec();
    conflictDialog_ = nullptr;
    if (busyCursor_) QApplication::setOverrideCursor(Qt::WaitCursor);
    switch (answer) {
        case ConflictDialog::saveElsewhere:
            // In the database's own folder, proposing its name.
            if (const std::optional<QString> url =
                    panels_->saveAsDestination(state_->databaseURL().value_or(fileName))) {
                choice.action = ConflictChoice::Action::saveElsewhere;
                choice.elsewhere = *url;
            }
            break;
        case ConflictDialog::overwrite:
            choice.action = ConflictChoice::Action::overwrite;
            break;
        case ConflictDialog::discardMine:
            choice.action = ConflictChoice::Action::discardMine;
            break;
        case ConflictDialog::writeBeside:
            choice.action = ConflictChoice::Action::writeBeside;
            break;
        default:
            break;
    }
    return choice;
}

void OmbrixApp::busyChanged() {
    const bool busy = state_->isSaving() || state_->isWorking();
    if (busy != busyCursor_) {
        busyCursor_ = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    if (!state_->isSaving() && endAfterSave_ != End::none) {
        // On the next turn, once the save's own caller has finished.
        QTimer::singleShot(0, this, [this] {
            switch (std::exchange(endAfterSave_, End::none)) {
                case End::none:
                    break;
                case End::quit:
                    quit();
                    break;
                case End::terminate:
                    terminate();
                    break;
            }
        });
    }
}

void OmbrixApp::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // Nothing can stop the program any more; saving is still worth a try.
    prepareToQuit();
    clipboard_.clearNow();
    hotKeys_.unregister();
}

void OmbrixApp::commitData(QSessionManager& manager) {
#ifndef QT_NO_SESSIONMANAGER
    // A save under way leaves nothing unsaved, and the signal to end that follows waits for it.
    if (state_->isSaving()) return;
    // The session may end only once the changes are saved; the user sees why it may not.
    if (!prepareToQuit() && manager.allowsInteraction()) manager.cancel();
#else
    Q_UNUSED(manager);
#endif
}

bool OmbrixApp::eventFilter(QObject* watched, QEvent* event) {
    // The user comes back to one of our windows: another program may have let go of the hot key.
    if (event->type() == QEvent::WindowActivate) hotKeys_.registerAgainIfRefused();
    if (watched == window_.get()) {
        if (event->type() == QEvent::Close) {
            // The window answers while a save runs, and its close button works: the quit waits
            // for the save.
            if (state_->isSaving()) {
                endAfterSave_ = std::max(endAfterSave_, End::quit);
                event->ignore();
                return true;
            }
            if (!prepareToQuit()) {
                event->ignore();
                return true;
            }
            // The program is its main window: closing it ends the program, also while the
            // settings window is open (there would be no way back to the main window).
            quit_();
        } else if (event->type() == QEvent::Show && !event->spontaneous()) {
            windowShown();
        }
    }
    return QObject::eventFilter(watched, event);
}
