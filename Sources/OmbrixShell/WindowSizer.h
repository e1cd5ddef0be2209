#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include "OmbrixState/LockScreenMetrics.h"

class AppState;
class QWidget;

// Gives the main window its two shapes. Locked (compact): 480 wide and as high as the lock
// screen's content (at most the screen's available height less 80), fixed so the user cannot
// resize it, centred on the unlocked window it replaces. Unlocked (full): resizable with a
// minimum of 720 × 460, at the size and the place it had when it was last unlocked (moved on as
// far as the user moved the locked window), 1020 × 680 about the locked window's centre the
// first time. A resize that changes only the height keeps the window's top-left. Every shape is
// moved back inside the screen's available area. A window not shown yet is only resized: the
// window manager places it.
//
// setMode() applies a shape on the next turn of the event loop, never inside the caller's own
// update, the last one asked for in a turn only; apply() does it at once. Sizes are of the
// window's client area.
class WindowSizer : public QObject {
    Q_OBJECT

  public:
    class Mode {
      public:
        enum class Kind { compact, full };

        // The locked shape, for a measured content height (0: not measured yet).
        static constexpr Mode compact(qreal height) { return Mode(Kind::compact, height); }
        static constexpr Mode full() { return Mode(Kind::full, 0); }

        constexpr Kind kind() const { return kind_; }
        constexpr qreal height() const { return height_; }

        friend constexpr bool operator==(const Mode& a, const Mode& b) {
            return a.kind_ == b.kind_ && (a.kind_ == Kind::full || a.height_ == b.height_);
        }

      private:
        constexpr Mode(Kind kind, qreal height) : kind_(kind), height_(height) {}

        Kind kind_;
        qreal height_;
    };

    static constexpr int lockedWidth = LockScreenMetrics::width;
    static constexpr QSize defaultUnlockedSize{1020, 680};
    static constexpr QSize minimumUnlockedSize{720, 460};
    // Room kept free above and below the locked window.
    static constexpr int screenMargin = 80;
    static constexpr int heightLimitWithoutScreen = 820;

    // The part of the screen a window may take (without panels and docks), or none without a
    // screen.
    using ScreenArea = std::function<std::optional<QRect>(const QWidget& window)>;
    // The available geometry of the window's screen, or of the primary screen.
    static std::optional<QRect> availableArea(const QWidget& window);

    // The shape for the lock state: compact with the card height while locked, else full.
    static Mode modeFor(bool locked, qreal cardHeight);

    // Sizes `window`, and lives as long as it does.
    explicit WindowSizer(QWidget* window, ScreenArea screenArea = &WindowSizer::availableArea);

    // From now on applies modeFor() whenever the lock state or the card height changes, and once
    // for the present state.
    void follow(const AppState& state, const LockScreenMetrics& metrics = LockScreenMetrics::shared());

    // Applies `mode` on the next turn of the event loop. Calls in one turn apply in order.
    void setMode(const Mode& mode);
    void apply(const Mode& mode);

    const std::optional<Mode>& lastMode() const { return lastMode_; }
    // The client size the window had when it last left the full shape.
    const std::optional<QSize>& unlockedSize() const { return unlockedSize_; }

  private:
    void applyFull(QWidget& window);
    void applyCompact(QWidget& window, qreal height);
    int overhead(QWidget& window) const;
    // Resizes the client area to `size` about the centre of `frameBefore`, the frame the window
    // had before its size limits changed (or with the frame's top-left at `topLeft`), and moves
    // it inside the available area.
    void setContentSize(QWidget& window, const QSize& size, const QRect& frameBefore, const QSize& sizeBefore,
                        const std::optional<QPoint>& topLeft);

    QPointer<QWidget> window_;
    ScreenArea screenArea_;
    std::optional<Mode> lastMode_;
    std::optional<Mode> pending_;
    std::optional<QSize> unlockedSize_;
    // The frame's top-left when the window last left the full shape, and where the sizer last
    // put the locked window.
    std::optional<QPoint> unlockedAt_;
    std::optional<QPoint> lockedAt_;
    // The native window whose new areas the window system fills with the canvas.
    WId canvasBackgroundOf_ = 0;
};
