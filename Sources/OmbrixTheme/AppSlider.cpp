#include "OmbrixTheme/AppSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

#include "OmbrixTheme/KeyboardFocus.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"

namespace {

constexpr int sliderHeight = 22;
constexpr qreal knob = 16;
constexpr qreal track = 4;

}  // namespace

AppSlider::AppSlider(int minimum, int maximum, const QColor& tint, QWidget* parent)
    : QSlider(Qt::Horizontal, parent),
      tint_(tint),
      focus_(new MotionValue(0, this)),
      keyboard_(new KeyboardFocus(this, [this] { focus_->setTarget(keyboard_->isShown() ? 1 : 0); })) {
    setRange(minimum, maximum);
    setSingleStep(1);
    setPageStep(qMax(1, (maximum - minimum) / 10));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

qreal AppSlider::knobCentre(int value) const {
    const qreal span = qMax<qreal>(0, width() - knob);
    const int range = maximum() - minimum();
    const qreal fraction = range > 0 ? qreal(qBound(minimum(), value, maximum()) - minimum()) / range : 0;
    return knob / 2 + span * fraction;
}

int AppSlider::valueAt(qreal x) const {
    const qreal span = width() - knob;
    if (span <= 0) return minimum();
    const qreal fraction = qBound<qreal>(0, (x - knob / 2) / span, 1);
    return minimum() + static_cast<int>(std::lround(fraction * (maximum() - minimum())));
}

QSize AppSlider::sizeHint() const {
    return QSize(160, sliderHeight);
}

QSize AppSlider::minimumSizeHint() const {
    return QSize(qCeil(knob * 3), sliderHeight);
}

void AppSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setSliderDown(true);
    setSliderPosition(valueAt(event->position().x()));
    event->accept();
}

void AppSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!isSliderDown()) {
        event->ignore();
        return;
    }
    setSliderPosition(valueAt(event->position().x()));
    event->accept();
}

void AppSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!isSliderDown() || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setSliderPosition(valueAt(event->position().x()));
    setSliderDown(false);
    event->accept();
}

void AppSlider::wheelEvent(QWheelEvent* event) {
    // A page scrolled past the slider must not change the stored value on the way.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}

void AppSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal middle = sliderHeight / 2.0;
    const qreal centre = knobCentre(sliderPosition());
    const QRectF groove(knob / 2, middle - track / 2, qMax<qreal>(0, width() - knob), track);
    Painting::fill(p, groove, Radius::pill, Palette::line);
    Painting::fill(p, QRectF(groove.left(), groove.top(), centre - groove.left(), track), Radius::pill,
                   isEnabled() ? tint_ : withOpacity(tint_, 0.4));
    const QRectF knobRect(centre - knob / 2, middle - knob / 2, knob, knob);
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? Palette::text : Palette::textMuted);
    p.drawEllipse(knobRect);
    Painting::focusRing(p, knobRect.adjusted(-3, -3, 3, 3), Radius::pill, focus_->value());
}
