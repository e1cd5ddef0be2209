#include "OmbrixTheme/Motion.h"

#include <QGraphicsOpacityEffect>
#include <QVariantAnimation>

#include "OmbrixTheme/Metrics.h"

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
    emit valueChanged(value);
}

MotionValue* MotionSet::valueFor(const QString& key, qreal initial) {
    auto it = values_.find(key);
    if (it == values_.end()) it = values_.insert(key, new MotionValue(initial, widget_));
    return *it;
}

qreal MotionSet::follow(const QString& key, qreal target) {
    MotionValue* v = valueFor(key, target);
    v->setTarget(target);
    return v->value();
}

qreal MotionSet::value(const QString& key, qreal rest) const {
    const auto it = values_.constFind(key);
    return it == values_.cend() ? rest : (*it)->value();
}

MotionValue* MotionSet::start(const QString& key, qreal from, qreal to) {
    jump(key, from);
    MotionValue* v = values_.value(key);
    v->setTarget(to);
    return v;
}

void MotionSet::jump(const QString& key, qreal value) {
    // A value has no way to jump while it runs: a fresh one takes its place.
    if (MotionValue* old = values_.take(key)) old->deleteLater();
    values_.insert(key, new MotionValue(value, widget_));
}

Fader::Fader(QWidget* widget)
    : QObject(widget),
      widget_(widget),
      effect_(new QGraphicsOpacityEffect(widget)),
      opacity_(new MotionValue(widget->isHidden() ? 0 : 1, widget)),
      shown_(!widget->isHidden()) {
    widget_->setGraphicsEffect(effect_);
    connect(opacity_, &MotionValue::valueChanged, this, &Fader::apply);
    connect(opacity_, &MotionValue::finished, this, [this] {
        if (!shown_) widget_->hide();
    });
    apply(opacity_->value());
}

void Fader::setShown(bool shown) {
    if (shown == shown_) return;
    shown_ = shown;
    if (shown) {
        // While hidden the value jumps, so the widget comes in transparent.
        if (widget_->isHidden()) opacity_->setTarget(0);
        widget_->show();
        opacity_->setTarget(1);
    } else {
        opacity_->setTarget(0);
        if (!opacity_->isRunning()) widget_->hide();
    }
}

void Fader::apply(qreal opacity) {
    effect_->setOpacity(opacity);
    // At rest the widget paints itself directly.
    effect_->setEnabled(opacity < 1);
}
