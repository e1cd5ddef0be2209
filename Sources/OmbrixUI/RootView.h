#pragma once

#include <functional>
#include <optional>

#include <QPointer>
#include <QString>
#include <QWidget>

#include "OmbrixState/Route.h"
#include "OmbrixUI/EntryEditView.h"

class AppState;
class ClipboardService;
class FilePanels;
class LockScreenMetrics;
class MainView;
class Preferences;
class QDialog;
class QVBoxLayout;
class UnlockView;

// The whole content of the main window. While the vault is locked it shows a lock screen, and
// the main view otherwise; each lock or unlock builds the new one afresh (so a lock screen
// always starts empty). With a window shaper, the window takes the new shape before the new view
// shows, so that view is laid out once at its final size. The old view cannot keep its place in a
// window of another shape, and the window system shows the new shape before anything is drawn
// into it: the window's canvas covers the whole window first, drawn at once, and the new view
// fades in from it once the window system reports the new shape. So the screen never shows a
// view half laid out, cut off or moved, nor an area not drawn at all.
//
// It also presents the one sheet of the application, the one AppState::route names: the
// editors, the password generator, or a small "Bulunamadı" notice when the entry or group an
// edit route names does not exist (any more). A sheet is window-modal over the main window,
// also over the lock screen. Another route replaces the shown sheet with a new one, dropping
// whatever was typed into it; no route closes it. A sheet that closes itself (its buttons,
// Escape, the window's close button) sets the route to none. While an edit sheet is shown, the
// entry or group it edits is looked up again whenever the database changes: once it is gone
// the editor gives way to the notice.
//
// The window's title follows what is shown: "Ombrix" on the lock screen, the main view's
// title with its subtitle when unlocked.
class RootView : public QWidget {
    Q_OBJECT

  public:
    static constexpr int fadeMs = 200;
    // The longest the canvas waits for the window system to report the new shape.
    static constexpr int shapeWaitMs = 1000;
    // The missing-item notice.
    static constexpr int missingWidth = 340;
    static constexpr int missingHeight = 240;

    RootView(AppState& state, Preferences& preferences, ClipboardService& clipboard, FilePanels& panels,
             LockScreenMetrics& metrics, QWidget* parent = nullptr);
    ~RootView() override;

    // Gives the window the shape of the view about to show: locked, with the lock screen's card
    // height measured at LockScreenMetrics::width; unlocked, with none.
    using WindowShaper = std::function<void(std::optional<int> lockScreenHeight)>;
    // Shapes the window from now on: at once, and before each new view shows.
    void setWindowShaper(WindowShaper shaper);

    // The lock screen while locked, else null.
    UnlockView* unlockView() const;
    // The main view while unlocked, else null.
    MainView* mainView() const;

    // The sheet shown for the present route, or null.
    QDialog* sheet() const;
    // The sheet stands for a route whose entry or group does not exist.
    bool isShowingMissingItem() const;

    QString windowTitleText() const;

    // The canvas over the window while the new view fades in, or null.
    QWidget* fadingCover() const { return fade_; }

  signals:
    void windowTitleTextChanged(const QString& text);

  private:
    void lockChanged();
    void routeChanged();
    void databaseChanged();
    void showContent();
    // Gives the window the shape of the view shown.
    void takeShape();
    void refreshTitle();

    void openSheet(const Route& route);
    void closeSheet();
    void restoreFocus();
    // Whether `widget`, holding the keyboard, would keep Ctrl+Z from the undo command.
    static bool takesUndoKey(QWidget* widget);
    void sheetFinished(QDialog* sheet);
    // The sheet for the route, or null when the route names something that does not exist.
    QDialog* makeSheet(const Route& route);
    EntryEditView* makeEntryEditor(const EntryEditView::Mode& mode);
    QDialog* makeMissingSheet();
    // The route's entry or group exists (always true for the other routes).
    bool routeTargetExists(const Route& route) const;

    AppState& state_;
    Preferences& preferences_;
    ClipboardService& clipboard_;
    FilePanels& panels_;
    LockScreenMetrics& metrics_;
    WindowShaper shaper_;

    QVBoxLayout* layout_;
    QPointer<UnlockView> unlockView_;
    QPointer<MainView> mainView_;
    QString windowTitleText_;
    QPointer<QWidget> fade_;

    QPointer<QDialog> sheet_;
    // Where the keyboard focus was in this window when the first of the sheets opened.
    QPointer<QWidget> focusBeforeSheet_;
    std::optional<QString> sheetRouteId_;
    bool showingMissing_ = false;
};
