#include "Ombrix/Theme/Motion.h"

#include <QVariantAnimation>

#include "Ombrix/Theme/Metrics.h"

namespace {
bool motionEnabled = true;
}

namespace Motion {

bool isEnabled() {
    return motionEnabled;
}
void setEnabled(bool enabled) {
    motionEnabled = enabled;
}

}  // namespace Motion

MotionValue::MotionValue(qreal initial, QWidget* widget)
    : QObject(widget),
      widget_(widget),
      animation_(new QVariantAnimation(this)),
      value_(initial),
      target_(initial) {
    animation_->setDuration(Metric::motion.durationMs);
    animation_->setEasingCurve(Metric::motion.easing());
    connect(animation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { setValue(v.toReal()); });
    connect(animation_, &QVariantAnimation::finished, this, [this] {
        setValue(target_);
        emit finished();
    });
}

bool MotionValue::isRunning() const {
    return animation_->state() == QAbstractAnimation::Running;
}

void MotionValue::setTarget(qreal target) {
    if (target == target_ && (isRunning() || value_ == target)) return;
    target_ = target;
    animation_->stop();
    if (!Motion::isEnabled() || !widget_ || !widget_->isVisible()) {
        setValue(target);
        return;
    }
    // Starting from the current value keeps a reversed transition continuous.
    animation_->setStartValue(value_);
    animation_->setEndValue(target);
    animation_->start();
}

void MotionValue::setValue(qreal value) {
    if (value == value_) return;
    value_ = value;
    if (widget_) widget_->update();
}
