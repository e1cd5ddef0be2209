#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QVariantAnimation;

// Process-wide switch for the interface's transitions. Tests turn it off so that every state
// change shows at once and a grabbed widget is deterministic.
namespace Motion {

bool isEnabled();
void setEnabled(bool enabled);

}  // namespace Motion

// A number between two looks of a widget (0 = rest, 1 = hover, focus or on) that moves to its
// target with Metric::motion and repaints the widget on every step. It jumps straight to the
// target when motion is off or the widget is not visible.
class MotionValue : public QObject {
    Q_OBJECT

  public:
    MotionValue(qreal initial, QWidget* widget);

    qreal value() const { return value_; }
    qreal target() const { return target_; }
    bool isRunning() const;

    void setTarget(qreal target);

  signals:
    void finished();

  private:
    void setValue(qreal value);

    QPointer<QWidget> widget_;
    QVariantAnimation* animation_;
    qreal value_;
    qreal target_;
};
