#include "OmbrixUI/HairlineDivider.h"

#include <QPainter>

HairlineDivider::HairlineDivider(const QColor& color, QWidget* parent) : QWidget(parent), color_(color) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void HairlineDivider::setColor(const QColor& color) {
    color_ = color;
    update();
}

void HairlineDivider::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), color_);
}
