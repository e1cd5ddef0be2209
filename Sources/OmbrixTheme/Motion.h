#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QGraphicsOpacityEffect;
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
    void valueChanged(qreal value);
    void finished();

  private:
    void setValue(qreal value);

    QPointer<QWidget> widget_;
    QVariantAnimation* animation_;
    qreal value_;
    qreal target_;
};

// The transition values of the items one widget paints (the rows of a list), one per key: each
// follows its target with Metric::motion and repaints the widget while it moves. An item seen
// for the first time starts at its target, so that only changes are animated.
class MotionSet {
  public:
    explicit MotionSet(QWidget* widget) : widget_(widget) {}

    // The item's value on its way to `target` (which it takes as its new target).
    qreal follow(const QString& key, qreal target);
    // The item's value, or `rest` for an item not seen yet.
    qreal value(const QString& key, qreal rest) const;
    // Starts the item at `from` on its way to `to`; returns its value, whose finished() tells
    // when it arrives (never, when it jumps there because motion is off).
    MotionValue* start(const QString& key, qreal from, qreal to);
    // Puts the item at `value` without a transition.
    void jump(const QString& key, qreal value);

  private:
    MotionValue* valueFor(const QString& key, qreal initial);

    QPointer<QWidget> widget_;
    QHash<QString, MotionValue*> values_;
};

// Shows and hides one widget with a fade of Metric::motion: it appears transparent and fades
// in; it fades out and then hides. It shows and hides at once when motion is off or the widget
// cannot be seen.
class Fader : public QObject {
    Q_OBJECT

  public:
    explicit Fader(QWidget* widget);

    // Whether the widget is shown or on its way in.
    bool isShown() const { return shown_; }
    void setShown(bool shown);

  private:
    void apply(qreal opacity);

    QWidget* widget_;
    QGraphicsOpacityEffect* effect_;
    MotionValue* opacity_;
    bool shown_;
};
