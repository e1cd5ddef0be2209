#include "OmbrixTheme/Metrics.h"

#include <QPointF>

QEasingCurve MotionTiming::easing() const {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.0, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}
