#include "Ombrix/App/WindowSizer.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QtMath>

#include "Ombrix/App/AppState.h"

// LockScreenMetrics

LockScreenMetrics& LockScreenMetrics::shared() {
    static LockScreenMetrics metrics;
    return metrics;
}

void LockScreenMetrics::setCardHeight(qreal height) {
    if (height == cardHeight_) return;
    cardHeight_ = height;
    emit cardHeightChanged();
}

// CardHeightReader

CardHeightReader::CardHeightReader(QWidget* measured, LockScreenMetrics& metrics)
    : QObject(measured), measured_(measured), metrics_(&metrics) {
    measured->installEventFilter(this);
    if (measured->isVisible()) metrics.setCardHeight(measured->height());
}

bool CardHeightReader::eventFilter(QObject* watched, QEvent* event) {
    if (watched == measured_ && metrics_) {
        // A hidden widget's geometry is not laid out yet; its height counts once it shows.
        const bool report =
            event->type() == QEvent::Show || (event->type() == QEvent::Resize && measured_->isVisible());
        if (report) metrics_->setCardHeight(measured_->height());
    }
    return QObject::eventFilter(watched, event);
}

// WindowSizer

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
    // settled layout.
    QTimer::singleShot(0, this, [this, mode] {
        if (window_) apply(mode);
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
    setContentSize(window, target, frameBefore, sizeBefore);
    lastMode_ = Mode::full();
}

void WindowSizer::applyCompact(QWidget& window, qreal height) {
    const Mode mode = Mode::compact(height);
    // Not measured yet: the window stays as it is until the lock screen reports its height.
    if (!(height > 0)) {
        lastMode_ = mode;
        return;
    }
    if (lastMode_ == Mode::full()) unlockedSize_ = window.size();

    const std::optional<QRect> area = screenArea_(window);
    const int limit = area ? area->height() - screenMargin : heightLimitWithoutScreen;
    const int contentHeight = qMax(1, qMin(limit, overhead(window) + qCeil(height)));
    const QSize size(lockedWidth, contentHeight);

    const QRect frameBefore = window.frameGeometry();
    const QSize sizeBefore = window.size();
    // Minimum equal to maximum: the window manager offers no resizing.
    window.setMinimumSize(size);
    window.setMaximumSize(size);
    setContentSize(window, size, frameBefore, sizeBefore);
    lastMode_ = mode;
}

int WindowSizer::overhead(QWidget& window) const {
    QWidget* area = contentArea_;
    if (!area) {
        if (auto* mainWindow = qobject_cast<QMainWindow*>(&window)) area = mainWindow->centralWidget();
    }
    if (!area || area == &window || !window.isAncestorOf(area)) return 0;
    // The bars' heights are only known once the window's layout has placed them.
    if (QLayout* layout = window.layout()) layout->activate();
    return qMax(0, window.height() - area->height());
}

void WindowSizer::setContentSize(QWidget& window, const QSize& size, const QRect& frameBefore,
                                 const QSize& sizeBefore) {
    if (sizeBefore == size && window.size() == size) return;

    const QSize frameSize = size + (frameBefore.size() - sizeBefore);
    const QPointF centre = QRectF(frameBefore).center();
    int x = qRound(centre.x() - frameSize.width() / 2.0);
    int y = qRound(centre.y() - frameSize.height() / 2.0);
    // Only the height changes while the lock screen's content grows or shrinks as the user
    // types: the window keeps its top-left, so nothing jumps under the pointer.
    if (size.width() == sizeBefore.width()) {
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
