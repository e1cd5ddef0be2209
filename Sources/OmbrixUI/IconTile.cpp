#include "OmbrixUI/IconTile.h"

#include <QPainter>

#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EntryIcon.h"

IconTile::IconTile(std::int64_t iconID, qreal size, std::optional<QColor> tint, QWidget* parent)
    : QWidget(parent), iconID_(iconID), size_(size), tint_(tint) {
    setFixedSize(qRound(size), qRound(size));
}

void IconTile::setIconID(std::int64_t iconID) {
    iconID_ = iconID;
    update();
}

void IconTile::setTint(std::optional<QColor> tint) {
    tint_ = tint;
    update();
}

QColor IconTile::effectiveTint(std::int64_t iconID, const std::optional<QColor>& tint) {
    return tint ? *tint : EntryIcon::tint(iconID);
}

void IconTile::paint(QPainter& painter, const QRectF& square, std::int64_t iconID,
                     const std::optional<QColor>& tint) {
    const QColor color = effectiveTint(iconID, tint);
    const qreal side = square.width();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    Painting::fill(painter, square, side * 0.3, withOpacity(color, 0.15));
    const qreal glyph = side * 0.46;
    const QPointF c = square.center();
    Icons::paint(painter, QRectF(c.x() - glyph / 2, c.y() - glyph / 2, glyph, glyph),
                 EntryIcon::symbol(iconID), color);
    painter.restore();
}

void IconTile::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, QRectF(0, 0, size_, size_), iconID_, tint_);
}
