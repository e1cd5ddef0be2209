#pragma once

#include <QEasingCurve>
#include <QtGlobal>

// Corner radii in device-independent pixels.
namespace Radius {

inline constexpr qreal small = 6;
inline constexpr qreal control = 8;
inline constexpr qreal card = 12;
inline constexpr qreal panel = 16;
// Large but finite: any control drawn with it becomes a capsule.
inline constexpr qreal pill = 999;

}  // namespace Radius

// The interface's one animation: ease-out over 0.14 s.
struct MotionTiming {
    int durationMs;
    // Ease-out as the cubic Bézier (0, 0) (0.58, 1) of the usual "ease-out" timing function.
    QEasingCurve easing() const;
};

// Spacing and sizes in device-independent pixels, and the motion.
namespace Metric {

inline constexpr qreal hairline = 1;
inline constexpr qreal xs = 4;
inline constexpr qreal s = 8;
inline constexpr qreal m = 12;
inline constexpr qreal l = 16;
inline constexpr qreal xl = 24;
inline constexpr qreal xxl = 32;
inline constexpr qreal controlHeight = 30;
inline constexpr qreal controlHeightSmall = 24;
inline constexpr MotionTiming motion{140};

}  // namespace Metric
