#include "Ombrix/Theme/Painting.h"

#include <QFocusEvent>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QWidget>

#include "Ombrix/Theme/Palette.h"

namespace Painting {

QPainterPath roundedPath(const QRectF& rect, qreal radius) {
    QPainterPath path;
    const qreal r = qBound<qreal>(0, radius, qMin(rect.width(), rect.height()) / 2);
    path.addRoundedRect(rect, r, r);
    return path;
}

void fill(QPainter& painter, const QRectF& bounds, qreal radius, const QColor& color) {
    if (color.alpha() == 0) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(roundedPath(bounds, radius));
    painter.restore();
}

void hairline(QPainter& painter, const QRectF& bounds, const QColor& color, qreal radius, qreal width) {
    if (color.alpha() == 0 || width <= 0) return;
    // The pen is centred on the path, so the path runs half a line inside the bounds and its
    // corners shrink by the same amount to stay concentric with the fill.
    const qreal half = width / 2;
    const QRectF inner = bounds.adjusted(half, half, -half, -half);
    const qreal shortSide = qMin(bounds.width(), bounds.height()) / 2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedPath(inner, qMax<qreal>(0, qMin(radius, shortSide) - half)));
    painter.restore();
}

void focusRing(QPainter& painter, const QRectF& bounds, qreal radius, qreal visibility) {
    if (visibility <= 0) return;
    hairline(painter, bounds, withOpacity(Palette::accent, 0.35 * qMin<qreal>(visibility, 1)), radius, 3);
}

QColor blend(const QColor& from, const QColor& to, qreal t) {
    if (t <= 0) return from;
    if (t >= 1) return to;
    const qreal fa = from.alphaF(), ta = to.alphaF();
    const qreal a = fa + (ta - fa) * t;
    if (a <= 0) return QColor(0, 0, 0, 0);
    auto channel = [&](qreal f, qreal g) { return static_cast<float>((f * fa + (g * ta - f * fa) * t) / a); };
    return QColor::fromRgbF(channel(from.redF(), to.redF()), channel(from.greenF(), to.greenF()),
                            channel(from.blueF(), to.blueF()), static_cast<float>(a));
}

bool keyboardFocusAfter(const QFocusEvent& event, bool before) {
    switch (event.reason()) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
            return event.gotFocus();
        case Qt::ActiveWindowFocusReason:
        case Qt::PopupFocusReason:
            return before;
        default:
            return false;
    }
}

void fillBackground(QWidget* widget, const QColor& color) {
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, color);
    widget->setPalette(pal);
}

void softShadow(QWidget* widget, int level) {
    auto* effect = new QGraphicsDropShadowEffect(widget);
    if (level == 1) {
        effect->setColor(withOpacity(Qt::black, 0.22));
        effect->setBlurRadius(8);
        effect->setOffset(0, 2);
    } else {
        effect->setColor(withOpacity(Qt::black, 0.34));
        effect->setBlurRadius(20);
        effect->setOffset(0, 8);
    }
    widget->setGraphicsEffect(effect);
}

}  // namespace Painting
