#include "OmbrixTheme/Painting.h"

#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QWidget>

#include "OmbrixTheme/Palette.h"

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

void focusRing(QPainter& painter, const QRectF& bounds, qreal radius, qreal visibility, const QColor& fill) {
    if (visibility <= 0) return;
    const qreal shown = qMin<qreal>(visibility, 1);
    if (isAccentFill(fill))
        hairline(painter, bounds, withOpacity(Palette::text, 0.8 * shown), radius, 2);
    else
        hairline(painter, bounds, withOpacity(Palette::accent, 0.35 * shown), radius, 3);
}

bool isAccentFill(const QColor& fill) {
    const QColor a = Palette::accent;
    const int distance =
        qAbs(fill.red() - a.red()) + qAbs(fill.green() - a.green()) + qAbs(fill.blue() - a.blue());
    return fill.alphaF() > 0.5 && distance < 90;
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

namespace {

// Walks `text` in runs of digits and of other characters, giving each piece with the advance it
// takes: every digit alone in the widest digit's advance, other runs whole (keeping their
// kerning).
template <class Piece>
qreal forEachTabularPiece(const QFontMetricsF& metrics, const QString& text, Piece piece) {
    qreal digit = 0;
    for (char c = '0'; c <= '9'; ++c) digit = qMax(digit, metrics.horizontalAdvance(QLatin1Char(c)));
    qreal x = 0;
    for (qsizetype start = 0, end = 0; start < text.size(); start = end) {
        const bool digits = text[start].isDigit();
        end = start;
        while (end < text.size() && text[end].isDigit() == digits) ++end;
        if (digits) {
            for (qsizetype i = start; i < end; ++i) {
                const QString c(text[i]);
                piece(c, x + (digit - metrics.horizontalAdvance(c)) / 2);
                x += digit;
            }
        } else {
            const QString run = text.mid(start, end - start);
            piece(run, x);
            x += metrics.horizontalAdvance(run);
        }
    }
    return x;
}

}  // namespace

qreal tabularWidth(const QFontMetricsF& metrics, const QString& text) {
    return forEachTabularPiece(metrics, text, [](const QString&, qreal) {});
}

void drawTabular(QPainter& painter, qreal x, qreal baseline, const QString& text) {
    forEachTabularPiece(QFontMetricsF(painter.font()), text, [&](const QString& piece, qreal offset) {
        painter.drawText(QPointF(x + offset, baseline), piece);
    });
}

void drawTabular(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text) {
    const QFontMetricsF metrics(painter.font());
    const qreal width = tabularWidth(metrics, text);
    qreal x = rect.left();
    if (alignment & Qt::AlignRight)
        x = rect.right() - width;
    else if (alignment & Qt::AlignHCenter)
        x = rect.center().x() - width / 2;
    const qreal baseline = rect.center().y() - metrics.height() / 2 + metrics.ascent();
    drawTabular(painter, x, baseline, text);
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
