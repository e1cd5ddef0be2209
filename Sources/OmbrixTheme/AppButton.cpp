#include "OmbrixTheme/AppButton.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/KeyboardFocus.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

namespace {

constexpr qreal symbolSize = 11;
constexpr qreal symbolSpacing = 6;

}  // namespace

QColor ButtonVariant::fill(bool active) const {
    switch (kind_) {
        case Kind::primary:
            return active ? Palette::accentHover : Palette::accent;
        case Kind::secondary:
            return active ? Palette::hover : Palette::elevated;
        case Kind::ghost:
            return active ? Palette::hover : QColor(Qt::transparent);
        case Kind::danger:
            return withOpacity(Palette::danger, active ? 0.24 : 0.14);
        case Kind::tinted:
            return withOpacity(tint_, active ? 0.24 : 0.15);
    }
    return {};
}

QColor ButtonVariant::foreground(bool active) const {
    switch (kind_) {
        case Kind::primary:
            return accentInk;
        case Kind::secondary:
        case Kind::ghost:
            return active ? Palette::text : Palette::textSoft;
        case Kind::danger:
            return Palette::danger;
        case Kind::tinted:
            return tint_;
    }
    return {};
}

QColor ButtonVariant::border(bool active) const {
    switch (kind_) {
        case Kind::primary:
        case Kind::ghost:
            return Qt::transparent;
        case Kind::secondary:
            return active ? Palette::lineStrong : Palette::line;
        case Kind::danger:
            return withOpacity(Palette::danger, 0.35);
        case Kind::tinted:
            return withOpacity(tint_, 0.35);
    }
    return {};
}

AppButton::AppButton(const QString& text, ButtonVariant variant, QWidget* parent)
    : QPushButton(text, parent),
      variant_(variant),
      active_(new MotionValue(0, this)),
      pressed_(new MotionValue(0, this)),
      focus_(new MotionValue(0, this)),
      keyboard_(new KeyboardFocus(this, [this] { updateLook(); })) {
    setAutoDefault(false);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QAbstractButton::pressed, this, &AppButton::updateLook);
    connect(this, &QAbstractButton::released, this, &AppButton::updateLook);
    applySizePolicy();
}

void AppButton::setVariant(ButtonVariant variant) {
    variant_ = variant;
    update();
}

void AppButton::setSmall(bool small) {
    if (small_ == small) return;
    small_ = small;
    updateGeometry();
    applySizePolicy();
    update();
}

void AppButton::setWide(bool wide) {
    if (wide_ == wide) return;
    wide_ = wide;
    applySizePolicy();
}

void AppButton::setSymbol(const QString& symbol) {
    symbol_ = symbol;
    updateGeometry();
    update();
}

void AppButton::setTabularDigits(bool tabular) {
    tabularDigits_ = tabular;
    updateGeometry();
    update();
}

qreal AppButton::labelWidth(const QFontMetricsF& metrics, const QString& label) const {
    return tabularDigits_ ? Painting::tabularWidth(metrics, label) : metrics.horizontalAdvance(label);
}

QFont AppButton::labelFont() const {
    return BrandFont::body(small_ ? 12 : 13, QFont::DemiBold);
}

void AppButton::applySizePolicy() {
    // Natural width unless wide; the height is the control height, label centred.
    setSizePolicy(wide_ ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
    setMinimumHeight(qRound(small_ ? Metric::controlHeightSmall : Metric::controlHeight));
    updateGeometry();
}

QSize AppButton::sizeHint() const {
    const QFontMetricsF fm(labelFont());
    qreal width = labelWidth(fm, text());
    if (!symbol_.isEmpty()) width += symbolSize + (text().isEmpty() ? 0 : symbolSpacing);
    const qreal padding = small_ ? 10 : 14;
    const qreal height = small_ ? Metric::controlHeightSmall : Metric::controlHeight;
    return QSize(qCeil(width + 2 * padding), qMax(qRound(height), qCeil(fm.height())));
}

QSize AppButton::minimumSizeHint() const {
    const QSize hint = sizeHint();
    return wide_ ? QSize(qRound(2 * (small_ ? 10.0 : 14.0)), hint.height()) : hint;
}

void AppButton::updateLook() {
    active_->setTarget(hovering_ && isEnabled() ? 1 : 0);
    pressed_->setTarget(isDown() ? 1 : 0);
    focus_->setTarget(keyboard_->isShown() && isEnabled() ? 1 : 0);
}

void AppButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    updateLook();
    QPushButton::enterEvent(event);
}

void AppButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    updateLook();
    QPushButton::leaveEvent(event);
}

void AppButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) updateLook();
    QPushButton::changeEvent(event);
}

bool AppButton::hitButton(const QPoint& pos) const {
    return Painting::roundedPath(rect(), Radius::control).contains(pos);
}

void AppButton::paintEvent(QPaintEvent*) {
    // setDown() repaints without emitting pressed(), so the pressed look also syncs here.
    if (pressed_->target() != (isDown() ? 1 : 0)) pressed_->setTarget(isDown() ? 1 : 0);

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal t = active_->value();
    const qreal pressedOpacity = 1 - 0.25 * pressed_->value();
    p.setOpacity(isEnabled() ? pressedOpacity : 0.4);

    const QRectF bounds = rect();
    const QColor fill = Painting::blend(variant_.fill(false), variant_.fill(true), t);
    Painting::fill(p, bounds, Radius::control, fill);
    Painting::hairline(p, bounds, Painting::blend(variant_.border(false), variant_.border(true), t),
                       Radius::control, Metric::hairline);

    const QColor ink = Painting::blend(variant_.foreground(false), variant_.foreground(true), t);
    const QFont font = labelFont();
    const QFontMetricsF fm(font);
    const qreal padding = small_ ? 10 : 14;
    const qreal symbolWidth = symbol_.isEmpty() ? 0 : symbolSize + (text().isEmpty() ? 0 : symbolSpacing);
    const qreal available = qMax<qreal>(0, bounds.width() - 2 * padding - symbolWidth);
    const QString label = fm.elidedText(text(), Qt::ElideRight, available);
    const qreal contentWidth = symbolWidth + labelWidth(fm, label);
    qreal x = bounds.center().x() - contentWidth / 2;
    if (!symbol_.isEmpty()) {
        Icons::paint(p, QRectF(x, bounds.center().y() - symbolSize / 2, symbolSize, symbolSize), symbol_,
                     ink);
        x += symbolWidth;
    }
    p.setFont(font);
    p.setPen(ink);
    const QRectF labelRect(x, bounds.top(), bounds.right() - x, bounds.height());
    if (tabularDigits_)
        Painting::drawTabular(p, labelRect, Qt::AlignLeft, label);
    else
        p.drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter, label);

    Painting::focusRing(p, bounds, Radius::control, focus_->value(), fill);
}
