#pragma once

#include <QAbstractButton>

class KeyboardFocus;
class MotionValue;

// An on/off switch with its label on the left: the label (text family, 13 px, wrapping onto
// more lines when narrow), at least 8 of space, then a 38 × 22 capsule whose 16-pixel knob
// slides right and turns white when on. The switch's bottom sits 6 below the label's first
// baseline. A click anywhere on the row flips it; hovering brightens the label (also while
// disabled: the switch has no disabled look of its own).
class AppSwitch : public QAbstractButton {
    Q_OBJECT

  public:
    explicit AppSwitch(const QString& label, QWidget* parent = nullptr);

    bool isHovering() const { return hovering_; }

    // Geometry of the capsule and the knob in widget coordinates, for the current width and
    // state (the knob at its resting place, not mid-animation).
    QRectF switchRect() const;
    QRectF knobRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void checkStateSet() override;
    void nextCheckState() override;

  private:
    struct Layout {
        QRectF label;
        QRectF capsule;
    };
    Layout layoutFor(int width) const;
    QRectF knobRectAt(const QRectF& capsule, qreal on) const;

    bool hovering_ = false;
    MotionValue* on_;
    MotionValue* hover_;
    MotionValue* focus_;
    KeyboardFocus* keyboard_;
};
