#include "Ombrix/UI/SymbolView.h"

#include <QPainter>

#include "Ombrix/Theme/Icons.h"

namespace {

QRectF centredSquare(const QRect& bounds, qreal size) {
    const QPointF c = QRectF(bounds).center();
    return QRectF(c.x() - size / 2, c.y() - size / 2, size, size);
}

}  // namespace

SymbolView::SymbolView(const QString& symbol, qreal size, const QColor& color, QWidget* parent)
    : QWidget(parent), symbol_(symbol), size_(size), color_(color) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setSymbol(const QString& symbol) {
    symbol_ = symbol;
    update();
}

void SymbolView::setColor(const QColor& color) {
    color_ = color;
    update();
}

QSize SymbolView::sizeHint() const {
    return QSize(qCeil(size_), qCeil(size_));
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Icons::paint(p, centredSquare(rect(), size_), symbol_, color_);
}

SymbolButton::SymbolButton(const QString& symbol, qreal size, const QColor& color, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), size_(size), color_(color) {
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolButton::setSymbol(const QString& symbol) {
    symbol_ = symbol;
    update();
}

void SymbolButton::setColor(const QColor& color) {
    color_ = color;
    update();
}

QSize SymbolButton::sizeHint() const {
    // A little room around the glyph so that it is not fiddly to hit.
    const int side = qCeil(size_) + 4;
    return QSize(side, side);
}

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setOpacity(!isEnabled() ? 0.4 : isDown() ? 0.6 : 1.0);
    Icons::paint(p, centredSquare(rect(), size_), symbol_, color_);
}
