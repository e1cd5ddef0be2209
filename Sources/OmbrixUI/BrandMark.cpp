#include "OmbrixUI/BrandMark.h"

#include <QLinearGradient>
#include <QPainter>

#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

BrandMark::BrandMark(qreal size, QWidget* parent) : QWidget(parent), size_(size) {
    setFixedSize(qRound(size), qRound(size));
}

void BrandMark::paint(QPainter& painter, const QRectF& square) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = square.width();
    QLinearGradient gradient(square.topLeft(), square.bottomRight());
    gradient.setColorAt(0, Palette::warn);
    gradient.setColorAt(1, Palette::accent);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawPath(Painting::roundedPath(square, side * 0.28));

    // The key is an upright key turned 45° counter-clockwise (bow top left, blade bottom right).
    // The bundled key glyph lies on its side with the bow on the left, so it turns clockwise.
    const qreal glyph = side * 0.46;
    painter.translate(square.center());
    painter.rotate(45);
    Icons::paint(painter, QRectF(-glyph / 2, -glyph / 2, glyph, glyph), QStringLiteral("key.fill"),
                 accentInk);
    painter.restore();
}

void BrandMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, QRectF(0, 0, size_, size_));
}
