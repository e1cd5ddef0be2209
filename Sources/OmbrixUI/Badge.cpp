#include "OmbrixUI/Badge.h"

#include <QFontMetricsF>
#include <QPainter>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

namespace {

constexpr qreal iconSize = 9;
constexpr qreal gap = 4;
constexpr qreal sidePadding = 8;
constexpr qreal verticalPadding = 3;
constexpr qreal fillOpacity = 0.14;

}  // namespace

Badge::Badge(const QString& text, const std::optional<QString>& icon, const QColor& tint, QWidget* parent)
    : QWidget(parent), text_(text), icon_(icon), tint_(tint) {
    setFont(BrandFont::label());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void Badge::setText(const QString& text) {
    text_ = text;
    updateGeometry();
    update();
}

void Badge::setIcon(const std::optional<QString>& icon) {
    icon_ = icon;
    updateGeometry();
    update();
}

void Badge::setTint(const QColor& tint) {
    tint_ = tint;
    update();
}

qreal Badge::iconWidth() const {
    return icon_ ? iconSize + gap : 0;
}

QSize Badge::sizeHint() const {
    const QFontMetricsF fm(font());
    const qreal width = 2 * sidePadding + iconWidth() + fm.horizontalAdvance(text_);
    const qreal height = 2 * verticalPadding + qMax(fm.height(), icon_ ? iconSize : 0.0);
    return QSize(qCeil(width), qCeil(height));
}

QSize Badge::minimumSizeHint() const {
    const QFontMetricsF fm(font());
    const qreal width = 2 * sidePadding + iconWidth() + (text_.isEmpty() ? 0 : fm.horizontalAdvance(u'…'));
    return QSize(qCeil(width), sizeHint().height());
}

void Badge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    Painting::fill(p, bounds, Radius::pill, withOpacity(tint_, fillOpacity));

    const QFontMetricsF fm(font());
    qreal x = bounds.left() + sidePadding;
    if (icon_) {
        Icons::paint(p, QRectF(x, bounds.center().y() - iconSize / 2, iconSize, iconSize), *icon_, tint_);
        x += iconSize + gap;
    }
    const qreal available = qMax<qreal>(0, bounds.right() - sidePadding - x);
    p.setFont(font());
    p.setPen(tint_);
    p.drawText(QRectF(x, bounds.top(), available + 1, bounds.height()), Qt::AlignLeft | Qt::AlignVCenter,
               fm.elidedText(text_, Qt::ElideRight, available));
}
