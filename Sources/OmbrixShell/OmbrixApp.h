#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QRect>

#include "OmbrixState/AppState.h"
#include "OmbrixUI/ConflictDialog.h"

class AutoTypeService;
class ClipboardService;
class FilePanels;
class HotKeyService;
class LockScreenMetrics;
class OmbrixCommands;
class Preferences;
class QMainWindow;
class QSessionManager;
class QWidget;
class RootView;
class TerminationSignals;
class WindowSizer;

// What the application reaches outside itself. Members left empty get the process's own: the
// shared preferences and services, Qt's file dialogs over the main window, and an end of the
// event loop on its next turn.
struct OmbrixAppDependencies {
    Preferences* preferences = nullptr;
    ClipboardService* clipboard = nullptr;
    AutoTypeService* autoType = nullptr;
    HotKeyService* hotKeys = nullptr;
    LockScreenMetrics* lockScreenMetrics = nullptr;
    // The state's own outside world; its preferences are always the ones above.
    AppStateDependencies state;
    std::shared_ptr<FilePanels> panels;
    std::function<void()> quit;
    // The part of the screen the main window may take; the window's screen's available area
    // when empty.
    std::function<std::optional<QRect>(const QWidget& window)> screenArea;
};

// The application: the long-lived objects of the interface and the main window. It is made
// once, after the QApplication, the fonts and the theme, and builds in this order: the
// preferences, the clipboard, auto-type and hot-key services, the one AppState, and the main
// window (a QMainWindow with the menu bar of OmbrixCommands, holding the RootView, sized by a
// WindowSizer that follows the lock state). The window is titled "Ombrix" while locked and
// after the open database when unlocked.
//
// Each time the window is shown it restores the last database file (when none is chosen yet),
// registers the global hot key (with a HotKeyHandler) from the preferences and starts
// following the frontmost application for auto-type (once). The hot key is registered again
// whenever the preferences' combination changes, and, when another program held it, each time
// the user comes back to the main window or the settings window (whose hot-key card says so). A
// hot key it cannot have, in full or in part, when it first shows is said once in the status bar.
//
// Quitting saves first. Whatever ends the program, the menu's quit command (quit()), closing
// the main window, or the desktop session ending, goes through prepareToQuit(): unsaved changes
// are saved as locking saves them, and when that save fails the program stays open on the main
// window, whose status bar shows why. Closing the main window quits the program, also while
// the settings window is open. At the very end (shutdown(), on QCoreApplication::aboutToQuit) a
// secret we put on the clipboard is cleared and the hot key released.
//
// When a save meets a file that another program changed, a dialog asks what becomes of the
// changes (ConflictDialog), whatever asked for the save. Being told to end (terminate(), from
// SIGTERM and its kin) asks nothing: an unlock under way is stopped, unsaved changes are saved,
// or written beside the database where the file was changed elsewhere, a question open is
// answered that way, and the program ends at once. While a save runs the pointer shows it and
// the window keeps answering; a quit or the signal to end that comes meanwhile is kept and
// carried out as soon as the save has ended (a menu or a drag left open then is closed, so that
// the save can end).
class OmbrixApp : public QObject {
    Q_OBJECT

  public:
    using Dependencies = OmbrixAppDependencies;

    explicit OmbrixApp(Dependencies dependencies = {}, QObject* parent = nullptr);
    ~OmbrixApp() override;

    // Keeps the process's memory, which holds the master password, the keys and every
    // decrypted value, out of core files: the process is marked not dumpable (which also
    // keeps other processes of the same user from attaching to it) and its core size limit is
    // set to zero. Called first thing at start-up; true when both took hold.
    static bool keepSecretsOutOfCrashDumps();

    // Shows the main window and runs the start-up actions above.
    void show();

    // Stops an auto-type run under way (its keys go up), then saves unsaved changes; true when
    // nothing is left unsaved (or nothing could be), false
    // when the save failed: AppState::lastError then says why and the main window is brought
    // to the front.
    bool prepareToQuit();
    // The quit command: ends the program unless prepareToQuit() fails.
    void quit();
    // The program is told to end by someone who cannot be asked anything: see above.
    void terminate();
    // Ends the program, through terminate(), on the signals that ask a process to end.
    void followTerminationSignals(TerminationSignals& source);
    // The application's one settings window, made on first use and brought to the front.
    void showSettings();
    // The last work before the process ends: clears the clipboard if it still holds our
    // secret, and releases the global hot key. Runs once.
    void shutdown();

    AppState& state() { return *state_; }
    Preferences& preferences() { return preferences_; }
    ClipboardService& clipboard() { return clipboard_; }
    AutoTypeService& autoType() { return autoType_; }
    HotKeyService& hotKeys() { return hotKeys_; }
    FilePanels& panels() { return *panels_; }
    QMainWindow* mainWindow() const { return window_.get(); }
    RootView* rootView() const { return rootView_; }
    OmbrixCommands* commands() const { return commands_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void registerGlobalHotKey();
    std::function<void()> hotKeyHandler();
    void installMenuBar();
    void commitData(QSessionManager& manager);
    void windowShown();
    ConflictChoice askAboutConflict(const QString& fileName);
    void busyChanged();

    Preferences& preferences_;
    ClipboardService& clipboard_;
    AutoTypeService& autoType_;
    HotKeyService& hotKeys_;
    // The hot key as the program started: looked at once; what the status bar said of it.
    bool hotKeyLookedAt_ = false;
    std::optional<QString> hotKeyNotice_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<QMainWindow> window_;
    std::shared_ptr<FilePanels> panels_;
    std::function<void()> quit_;
    RootView* rootView_ = nullptr;
    WindowSizer* sizer_ = nullptr;
    OmbrixCommands* commands_ = nullptr;
    bool shutDown_ = false;
    bool terminating_ = false;
    bool busyCursor_ = false;
    // What was asked for while a save ran, carried out once it has ended.
    enum class End { none, quit, terminate };
    End endAfterSave_ = End::none;
    QPointer<ConflictDialog> conflictDialog_;
};
