#include "OmbrixUI/RootView.h"

#include <QApplication>
#include <QDialog>
#include <QEasingCurve>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <QWindow>

#include <utility>

#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixState/LockScreenMetrics.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/EntryEditView.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/PasswordGeneratorView.h"
#include "OmbrixUI/UnlockView.h"

namespace {

const QString lockedTitle = QStringLiteral("Ombrix");

// The window's canvas over the whole window, menu bar included, while the window takes the
// shape of the next view: drawn at once, before the new shape is asked for, so that whatever the
// window system shows meanwhile is the canvas. It fades out over the new view once the window
// system reports the new shape and the new view's own entrance (a field's focus ring coming up)
// has had the interface's motion time to settle beneath it. Clicks pass through.
class CanvasCover final : public QWidget {
  public:
    explicit CanvasCover(QWidget* window) : QWidget(window), window_(window) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(window->rect());
        window->installEventFilter(this);
        if (QWindow* handle = window->windowHandle()) handle->installEventFilter(this);
        animation_ = new QVariantAnimation(this);
        animation_->setStartValue(1.0);
        animation_->setEndValue(0.0);
        animation_->setDuration(RootView::fadeMs);
        animation_->setEasingCurve(QEasingCurve::OutCubic);
        connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            opacity_ = value.toReal();
            update();
        });
        connect(animation_, &QVariantAnimation::finished, this, &QObject::deleteLater);
        QTimer::singleShot(Metric::motion.durationMs, this, [this] {
            settled_ = true;
            fade();
        });
        // A shape the window system never confirms (the window had it already) holds the cover
        // no longer than this.
        QTimer::singleShot(RootView::shapeWaitMs, this, [this] {
            shaped_ = true;
            fade();
        });
        raise();
        show();
        repaint();
    }

    ~CanvasCover() override {
        if (QWindow* handle = window_ ? window_->windowHandle() : nullptr) handle->removeEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Resize) setGeometry(window_->rect());
        // The window system's own report of the window's size: the new shape stands once it is
        // the size asked for (a window manager may pass through others on the way).
        if (window_ && watched == window_->windowHandle() && event->type() == QEvent::Resize &&
            static_cast<QResizeEvent*>(event)->size() == window_->size()) {
            shaped_ = true;
            fade();
        }
        return QWidget::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setOpacity(opacity_);
        painter.fillRect(rect(), Palette::canvas);
    }

  private:
    void fade() {
        if (shaped_ && settled_ && animation_->state() == QAbstractAnimation::Stopped && opacity_ == 1)
            animation_->start();
    }

    QPointer<QWidget> window_;
    QVariantAnimation* animation_;
    qreal opacity_ = 1;
    bool shaped_ = false;
    bool settled_ = false;
};

}  // namespace

RootView::RootView(AppState& state, Preferences& preferences, ClipboardService& clipboard, FilePanels& panels,
                   LockScreenMetrics& metrics, QWidget* parent)
    : QWidget(parent),
      state_(state),
      preferences_(preferences),
      clipboard_(clipboard),
      panels_(panels),
      metrics_(metrics),
      layout_(new QVBoxLayout(this)) {
    Painting::fillBackground(this, Palette::canvas);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);

    connect(&state_, &AppState::isLockedChanged, this, &RootView::lockChanged);
    connect(&state_, &AppState::routeChanged, this, &RootView::routeChanged);
    connect(&state_, &AppState::databaseChanged, this, &RootView::databaseChanged);

    showContent();
    if (state_.route()) openSheet(*state_.route());
}

RootView::~RootView() {
    // A sheet is a child of this view; it goes with it, unannounced.
    if (sheet_) disconnect(sheet_, nullptr, this, nullptr);
}

UnlockView* RootView::unlockView() const {
    return unlockView_;
}

MainView* RootView::mainView() const {
    return mainView_;
}

QDialog* RootView::sheet() const {
    return sheet_;
}

bool RootView::isShowingMissingItem() const {
    return sheet_ && showingMissing_;
}

QString RootView::windowTitleText() const {
    return windowTitleText_;
}

void RootView::lockChanged() {
    showContent();
}

void RootView::setWindowShaper(WindowShaper shaper) {
    shaper_ = std::move(shaper);
    takeShape();
}

void RootView::showContent() {
    const bool locked = state_.isLocked();
    if (locked ? static_cast<bool>(unlockView_) : static_cast<bool>(mainView_)) return;

    // The old view cannot keep its place in a window of another shape: the window's canvas covers
    // it, and the new view fades in from the canvas once the window has its shape.
    QWidget* old = unlockView_ ? static_cast<QWidget*>(unlockView_) : mainView_;
    if (old && Motion::isEnabled() && isVisible()) fade_ = new CanvasCover(window());
    // The view being left may be the one whose button locked or unlocked: it is deleted only
    // once control has returned from it.
    if (old) {
        disconnect(old, nullptr, this, nullptr);
        layout_->removeWidget(old);
        old->hide();
        old->deleteLater();
    }
    unlockView_ = nullptr;
    mainView_ = nullptr;

    QWidget* next = nullptr;
    if (locked) {
        unlockView_ = new UnlockView(state_, panels_, metrics_);
        next = unlockView_;
    } else {
        mainView_ = new MainView(state_, clipboard_);
        connect(mainView_, &MainView::windowTitleTextChanged, this, &RootView::refreshTitle);
        next = mainView_;
    }
    // The window takes its new shape before the new view shows, so that the view is laid out
    // once, at its final size, and never drawn squeezed into the other shape.
    next->hide();
    layout_->addWidget(next);
    takeShape();
    next->show();
    // Its nested layouts settle through queued requests, one level per pass: they are run now,
    // so the first picture of the new view is its finished one.
    layout_->activate();
    for (int level = 0; level < 8; ++level)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    // The list has the keyboard at once (the tree when the list is empty), as it has whenever
    // the window is activated.
    if (mainView_) mainView_->keyboardHome()->setFocus();
    if (fade_) fade_->raise();
    refreshTitle();
}

void RootView::takeShape() {
    if (!shaper_) return;
    if (unlockView_) {
        // Measured as it will stand in the locked window, before it shows; the reader behind the
        // card reports the same height once it is laid out.
        const int height = unlockView_->cardHeightFor(LockScreenMetrics::width);
        metrics_.setCardHeight(height);
        shaper_(height);
    } else {
        shaper_(std::nullopt);
    }
}

void RootView::refreshTitle() {
    const QString text = mainView_ ? mainView_->windowTitleText() : lockedTitle;
    if (text == windowTitleText_) return;
    windowTitleText_ = text;
    emit windowTitleTextChanged(text);
}

// Sheets.

void RootView::routeChanged() {
    const std::optional<Route>& route = state_.route();
    if (!route) {
        closeSheet();
        restoreFocus();
        return;
    }
    if (sheet_ && sheetRouteId_ == route->id()) return;
    closeSheet();
    openSheet(*route);
}

void RootView::databaseChanged() {
    // Only an editor can lose what it shows; the notice stays a notice.
    if (!sheet_ || showingMissing_ || !state_.route()) return;
    if (routeTargetExists(*state_.route())) return;
    const Route route = *state_.route();
    closeSheet();
    openSheet(route);
}

void RootView::openSheet(const Route& route) {
    // A sheet replacing another keeps the place remembered for the first.
    if (QWidget* focus = QApplication::focusWidget(); focus && focus->window() == window())
        focusBeforeSheet_ = focus;
    QDialog* sheet = makeSheet(route);
    showingMissing_ = sheet == nullptr;
    if (!sheet) sheet = makeMissingSheet();
    sheet_ = sheet;
    sheetRouteId_ = route.id();
    connect(sheet, &QDialog::finished, this, [this, sheet] { sheetFinished(sheet); });
    sheet->open();
}

void RootView::closeSheet() {
    const QPointer<QDialog> sheet = sheet_;
    sheet_ = nullptr;
    sheetRouteId_.reset();
    showingMissing_ = false;
    if (!sheet) return;
    disconnect(sheet, nullptr, this, nullptr);
    // Hidden at once; deleted once control has returned from whatever changed the route,
    // which may be the sheet itself.
    sheet->hide();
    sheet->deleteLater();
}

// The window manager hands the activation back when a sheet goes, and Qt then picks the first
// field of the window (the search field) when it has lost track of the focus: the keyboard goes
// back where it was instead, so Ctrl+Z there undoes the change just made. Where that place is
// gone from view (a new group hides the list) or keeps Ctrl+Z for its own text, the keyboard
// goes to the main view's resting place.
void RootView::restoreFocus() {
    QWidget* target = focusBeforeSheet_;
    focusBeforeSheet_ = nullptr;
    const auto usable = [this](QWidget* w) {
        return w && w->window() == window() && w->isVisible() && w->isEnabled() && !takesUndoKey(w);
    };
    if (!usable(target)) target = mainView_ ? mainView_->keyboardHome() : nullptr;
    if (!usable(target)) return;
    if (window()->isVisible()) window()->activateWindow();
    target->setFocus(Qt::OtherFocusReason);
}

bool RootView::takesUndoKey(QWidget* widget) {
    // Asked as Qt asks before it runs a shortcut: a text field claims Ctrl+Z for its own undo.
    QKeyEvent probe(QEvent::ShortcutOverride, Qt::Key_Z, Qt::ControlModifier);
    probe.ignore();
    QApplication::sendEvent(widget, &probe);
    return probe.isAccepted();
}

void RootView::sheetFinished(QDialog* sheet) {
    if (sheet != sheet_) return;
    const std::optional<QString> id = sheetRouteId_;
    closeSheet();
    // A sheet that went away by itself takes its route with it.
    if (state_.route() && state_.route()->id() == id) state_.setRoute(std::nullopt);
}

bool RootView::routeTargetExists(const Route& route) const {
    const std::optional<KdbxDatabase>& database = state_.database();
    if (const auto* edit = route.as<Route::EditEntry>())
        return database && GroupTree::findEntry(database->root, edit->id) != nullptr;
    if (const auto* edit = route.as<Route::EditGroup>())
        return database && GroupTree::findGroup(database->root, edit->id) != nullptr;
    return true;
}

QDialog* RootView::makeSheet(const Route& route) {
    const std::optional<KdbxDatabase>& database = state_.database();
    if (const auto* create = route.as<Route::NewEntry>())
        return makeEntryEditor(EntryEditView::Mode::create(create->groupID));
    if (const auto* edit = route.as<Route::EditEntry>()) {
        const KdbxEntry* entry = database ? GroupTree::findEntry(database->root, edit->id) : nullptr;
        return entry ? makeEntryEditor(EntryEditView::Mode::edit(*entry)) : nullptr;
    }
    if (const auto* create = route.as<Route::NewGroup>())
        return new GroupEditView(state_, GroupEditView::Mode::create(create->parentID), this);
    if (const auto* edit = route.as<Route::EditGroup>()) {
        const KdbxGroup* group = database ? GroupTree::findGroup(database->root, edit->id) : nullptr;
        return group ? new GroupEditView(state_, GroupEditView::Mode::edit(*group), this) : nullptr;
    }
    return new PasswordGeneratorView(state_, preferences_, clipboard_, this);
}

EntryEditView* RootView::makeEntryEditor(const EntryEditView::Mode& mode) {
    auto* editor = new EntryEditView(state_, preferences_, mode, this);
    // The generator opens over the editor and hands its password back to it, leaving the
    // route alone.
    editor->setGeneratorFactory([this](QWidget* over, EntryEditView::PasswordSink deliver) -> QDialog* {
        return new PasswordGeneratorView(state_, preferences_, clipboard_, std::move(deliver), over);
    });
    return editor;
}

QDialog* RootView::makeMissingSheet() {
    auto* sheet = new QDialog(this);
    Painting::fillBackground(sheet, Palette::surface);
    sheet->setFixedSize(missingWidth, missingHeight);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new EmptyStateView(
        QStringLiteral("questionmark.folder"), QStringLiteral("Bulunamadı"),
        QStringLiteral("Bu kayıt artık mevcut değil."), QStringLiteral("Kapat"),
        [this] { state_.setRoute(std::nullopt); }, true));
    return sheet;
}
