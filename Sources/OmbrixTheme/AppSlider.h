#pragma once

#include <QColor>
#include <QSlider>

class KeyboardFocus;
class MotionValue;

// A horizontal slider over whole numbers: a 4-high capsule track in Palette::line, filled in the
// tint up to the knob, and a 16-pixel round knob in Palette::text; 22 high, as wide as offered.
// A press anywhere on the track moves the knob there at once and dragging follows the pointer:
// the value is the pointer's place rounded to the nearest step (halves away from zero). The
// arrow and page keys step it as for any QSlider; keyboard focus shows the focus ring. The wheel
// moves it only while it has the focus; otherwise it scrolls the page the slider sits on.
class AppSlider : public QSlider {
    Q_OBJECT

  public:
    AppSlider(int minimum, int maximum, const QColor& tint, QWidget* parent = nullptr);

    QColor tint() const { return tint_; }

    // The value a press at `x` (widget coordinates) gives, and the knob's centre for `value`.
    int valueAt(qreal x) const;
    qreal knobCentre(int value) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    QColor tint_;
    MotionValue* focus_;
    KeyboardFocus* keyboard_;
};
