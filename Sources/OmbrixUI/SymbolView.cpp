#include "OmbrixUI/SymbolView.h"

#include <QPainter>

#include "OmbrixTheme/Icons.h"

template <class Base>
SymbolWidget<Base>::SymbolWidget(const QString& symbol, qreal size, const QColor& color, QWidget* parent)
    : Base(parent), symbol_(symbol), size_(size), color_(color) {
    this->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

template <class Base>
void SymbolWidget<Base>::setSymbol(const QString& symbol) {
    symbol_ = symbol;
    this->update();
}

template <class Base>
void SymbolWidget<Base>::setColor(const QColor& color) {
    color_ = color;
    this->update();
}

template <class Base>
void SymbolWidget<Base>::paintSymbol(QPainter& p) const {
    const QPointF c = QRectF(this->rect()).center();
    Icons::paint(p, QRectF(c.x() - size_ / 2, c.y() - size_ / 2, size_, size_), symbol_, color_);
}

template class SymbolWidget<QWidget>;
template class SymbolWidget<QAbstractButton>;

SymbolView::SymbolView(const QString& symbol, qreal size, const QColor& color, QWidget* parent)
    : SymbolWidget(symbol, size, color, parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize SymbolView::sizeHint() const {
    return QSize(qCeil(symbolSize()), qCeil(symbolSize()));
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintSymbol(p);
}

SymbolButton::SymbolButton(const QString& symbol, qreal size, const QColor& color, QWidget* parent)
    : SymbolWidget(symbol, size, color, parent) {
    setFocusPolicy(Qt::NoFocus);
}

QSize SymbolButton::sizeHint() const {
    // A little room around the glyph so that it is not fiddly to hit.
    const int side = qCeil(symbolSize()) + 4;
    return QSize(side, side);
}

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setOpacity(!isEnabled() ? 0.4 : isDown() ? 0.6 : 1.0);
    paintSymbol(p);
}
