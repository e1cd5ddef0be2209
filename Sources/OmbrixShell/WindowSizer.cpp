#include "OmbrixShell/WindowSizer.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QtMath>

#include <utility>

#include "OmbrixServices/Platform/X11WindowBackground.h"
#include "OmbrixState/AppState.h"
#include "OmbrixTheme/Palette.h"

std::optional<QRect> WindowSizer::availableArea(const QWidget& window) {
    QScreen* screen = window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return std::nullopt;
    return screen->availableGeometry();
}

WindowSizer::Mode WindowSizer::modeFor(bool locked, qreal cardHeight) {
    return locked ? Mode::compact(cardHeight) : Mode::full();
}

WindowSizer::WindowSizer(QWidget* window, ScreenArea screenArea)
    : QObject(window), window_(window), screenArea_(std::move(screenArea)) {}

void WindowSizer::follow(const AppState& state, const LockScreenMetrics& metrics) {
    const QPointer<const AppState> watchedState(&state);
    const QPointer<const LockScreenMetrics> watchedMetrics(&metrics);
    auto update = [this, watchedState, watchedMetrics] {
        if (watchedState && watchedMetrics)
            setMode(modeFor(watchedState->isLocked(), watchedMetrics->cardHeight()));
    };
    connect(&state, &AppState::isLockedChanged, this, update);
    connect(&metrics, &LockScreenMetrics::cardHeightChanged, this, update);
    update();
}

void WindowSizer::setMode(const Mode& mode) {
    // Resizing from inside a layout pass would feed back into it; the next turn sees the
    // settled layout. Only the last mode asked for in a turn is applied: the shapes asked for
    // on the way would each be drawn for a moment.
    const bool scheduled = pending_.has_value();
    pending_ = mode;
    if (scheduled) return;
    QTimer::singleShot(0, this, [this] {
        const std::optional<Mode> mode = std::exchange(pending_, std::nullopt);
        if (window_ && mode) apply(*mode);
    });
}

void WindowSizer::apply(const Mode& mode) {
    if (!window_) return;
    if (mode.kind() == Mode::Kind::full)
        applyFull(*window_);
    else
        applyCompact(*window_, mode.height());
}

void WindowSizer::applyFull(QWidget& window) {
    // The user may have resized the unlocked window since; that size stays.
    if (lastMode_ == Mode::full()) return;
    const QRect frameBefore = window.frameGeometry();
    const QSize sizeBefore = window.size();
    window.setMinimumSize(minimumUnlockedSize);
    window.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

    QSize target = unlockedSize_.value_or(defaultUnlockedSize);
    // A window larger than the screen would hide its edges: it is kept within the available
    // area, yet never below its minimum.
    if (const std::optional<QRect> area = screenArea_(window)) {
        const QSize decorations = frameBefore.size() - sizeBefore;
        target = target.boundedTo(area->size() - decorations);
    }
    target = target.expandedTo(minimumUnlockedSize);
    // Back where it was when it locked, moved on by as much as the user moved the locked window.
    std::optional<QPoint> at;
    if (unlockedAt_ && lockedAt_) at = *unlockedAt_ + (frameBefore.topLeft() - *lockedAt_);
    setContentSize(window, target, frameBefore, sizeBefore, at);
    lastMode_ = Mode::full();
}

void WindowSizer::applyCompact(QWidget& window, qreal height) {
    const Mode mode = Mode::compact(height);
    // Not measured yet: the window stays as it is until the lock screen reports its height.
    if (!(height > 0)) {
        lastMode_ = mode;
        return;
    }
    const bool leavingFull = lastMode_ == Mode::full();
    if (leavingFull) {
        unlockedSize_ = window.size();
        unlockedAt_ = window.frameGeometry().topLeft();
    }

    const std::optional<QRect> area = screenArea_(window);
    const int limit = area ? area->height() - screenMargin : heightLimitWithoutScreen;
    const int contentHeight = qMax(1, qMin(limit, overhead(window) + qCeil(height)));
    const QSize size(lockedWidth, contentHeight);

    const QRect frameBefore = window.frameGeometry();
    const QSize sizeBefore = window.size();
    // Minimum equal to maximum: the window manager offers no resizing.
    window.setMinimumSize(size);
    window.setMaximumSize(size);
    setContentSize(window, size, frameBefore, sizeBefore, std::nullopt);
    // Where the sizer has the locked window: placed when it locked, then moved only by the
    // sizer's own changes. Whatever else moved it was the user.
    const QPoint moved = window.frameGeometry().topLeft() - frameBefore.topLeft();
    lockedAt_ = leavingFull || !lockedAt_ ? window.frameGeometry().topLeft() : *lockedAt_ + moved;
    lastMode_ = mode;
}

int WindowSizer::overhead(QWidget& window) const {
    // What a main window adds around its central widget (menu bar, tool bars, status bar) comes
    // on top of the lock screen's card.
    auto* mainWindow = qobject_cast<QMainWindow*>(&window);
    QWidget* area = mainWindow ? mainWindow->centralWidget() : nullptr;
    if (!area || area == &window || !window.isAncestorOf(area)) return 0;
    // The bars' heights are only known once the window's layout has placed them.
    if (QLayout* layout = window.layout()) layout->activate();
    return qMax(0, window.height() - area->height());
}

void WindowSizer::setContentSize(QWidget& window, const QSize& size, const QRect& frameBefore,
                                 const QSize& sizeBefore, const std::optional<QPoint>& topLeft) {
    if (sizeBefore == size && window.size() == size && (!topLeft || *topLeft == frameBefore.topLeft()))
        return;
    // A window not shown yet is placed by the window manager when it maps: only its size is ours.
    if (!window.isVisible()) {
        window.resize(size);
        return;
    }
    // Where the window grows, the window system shows its new area before anything is drawn
    // there: the canvas, like everything the window shows, rather than the plain white below.
    if (window.winId() != canvasBackgroundOf_) {
        X11WindowBackground::set(std::uint32_t(window.winId()), Palette::canvas);
        canvasBackgroundOf_ = window.winId();
    }

    const QSize frameSize = size + (frameBefore.size() - sizeBefore);
    const QPointF centre = QRectF(frameBefore).center();
    int x = qRound(centre.x() - frameSize.width() / 2.0);
    int y = qRound(centre.y() - frameSize.height() / 2.0);
    if (topLeft) {
        x = topLeft->x();
        y = topLeft->y();
    } else if (size.width() == sizeBefore.width()) {
        // Only the height changes while the lock screen's content grows or shrinks as the user
        // types: the window keeps its top-left, so nothing jumps under the pointer.
        x = frameBefore.x();
        y = frameBefore.y();
    }
    if (const std::optional<QRect> area = screenArea_(window)) {
        // Too wide: flush with the right edge. Too high: flush with the top, so the title bar
        // stays within reach.
        x = qMin(qMax(x, area->left()), area->left() + area->width() - frameSize.width());
        y = qMax(qMin(y, area->top() + area->height() - frameSize.height()), area->top());
    }
    window.resize(size);
    window.move(x, y);
}
