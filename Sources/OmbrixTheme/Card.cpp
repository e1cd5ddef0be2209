#include "OmbrixTheme/Card.h"

#include <QPainter>
#include <QVBoxLayout>

#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

Card::Card(const QColor& fill, qreal radius, const QColor& border, std::optional<qreal> padding,
           QWidget* parent)
    : QWidget(parent),
      fill_(fill),
      radius_(radius),
      border_(border),
      padding_(padding.value_or(0)),
      layout_(new QVBoxLayout(this)) {
    const int p = qRound(padding_);
    layout_->setContentsMargins(p, p, p, p);
    layout_->setSpacing(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

Card* Card::section(int spacing) {
    auto* card = new Card(Palette::elevated, Radius::card, Palette::line, Metric::l);
    card->contentLayout()->setSpacing(spacing);
    return card;
}

void Card::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF bounds = rect();
    Painting::fill(p, bounds, radius_, fill_);
    Painting::hairline(p, bounds, border_, radius_, Metric::hairline);
}

Panel::Panel(const QColor& fill, qreal padding, QWidget* parent)
    : Card(fill, Radius::panel, Palette::line, padding, parent) {
    Painting::softShadow(this, 2);
}
