#include "OmbrixTheme/IconButton.h"

#include <QEvent>
#include <QPainter>

#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/KeyboardFocus.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

IconButton::IconButton(const QString& symbol, const QColor& tint, qreal size, QWidget* parent)
    : QAbstractButton(parent),
      symbol_(symbol),
      tint_(tint),
      side_(size),
      active_(new MotionValue(0, this)),
      focus_(new MotionValue(0, this)),
      keyboard_(new KeyboardFocus(this, [this] { updateLook(); })) {
    setFocusPolicy(Qt::TabFocus);
    setSide(size);
}

void IconButton::setSymbol(const QString& symbol) {
    symbol_ = symbol;
    update();
}

void IconButton::setTint(const QColor& tint) {
    tint_ = tint;
    update();
}

void IconButton::setSide(qreal size) {
    side_ = size;
    setFixedSize(qRound(size), qRound(size));
    update();
}

QSize IconButton::sizeHint() const {
    return QSize(qRound(side_), qRound(side_));
}

void IconButton::updateLook() {
    active_->setTarget(hovering_ && isEnabled() ? 1 : 0);
    focus_->setTarget(keyboard_->isShown() && isEnabled() ? 1 : 0);
}

void IconButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    updateLook();
    QAbstractButton::enterEvent(event);
}

void IconButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    updateLook();
    QAbstractButton::leaveEvent(event);
}

void IconButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) updateLook();
    QAbstractButton::changeEvent(event);
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The press is not animated: the dimming follows the button at once.
    p.setOpacity(!isEnabled() ? 0.35 : isDown() ? 0.6 : 1.0);

    const qreal t = active_->value();
    const QRectF bounds = rect();
    Painting::fill(p, bounds, Radius::control, Painting::blend(Qt::transparent, withOpacity(tint_, 0.16), t));

    paintGlyph(p, bounds, Painting::blend(Palette::textSoft, tint_, t));
    Painting::focusRing(p, bounds, Radius::control, focus_->value());
}

void IconButton::paintGlyph(QPainter& painter, const QRectF& bounds, const QColor& ink) {
    const qreal glyph = side_ * 0.44;
    const QRectF glyphRect(bounds.center().x() - glyph / 2, bounds.center().y() - glyph / 2, glyph, glyph);
    Icons::paint(painter, glyphRect, symbol_, ink);
}
