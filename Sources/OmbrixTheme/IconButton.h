#pragma once

#include <QAbstractButton>
#include <QColor>

class KeyboardFocus;
class MotionValue;
class QPainter;

// A square button showing one symbol. At rest the glyph is Palette::textSoft on nothing;
// hovered and enabled, the glyph takes the tint over a rounded square of the tint at 0.16.
// The glyph is 0.44 of the side. Disabled it shows at 0.35 opacity, pressed at 0.6. Reached with
// Tab it shows the focus ring.
class IconButton : public QAbstractButton {
    Q_OBJECT

  public:
    IconButton(const QString& symbol, const QColor& tint, qreal size, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);

    QColor tint() const { return tint_; }
    void setTint(const QColor& tint);

    qreal side() const { return side_; }
    void setSide(qreal size);

    bool isHovering() const { return hovering_; }

    QSize sizeHint() const override;

  protected:
    // Draws the glyph in `ink` about the centre of `bounds` (the button): the symbol at 0.44 of
    // the side. A button with a glyph of its own draws it here; the fill, the dimming and the
    // focus ring stay the button's.
    virtual void paintGlyph(QPainter& painter, const QRectF& bounds, const QColor& ink);

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void updateLook();

    QString symbol_;
    QColor tint_;
    qreal side_;
    bool hovering_ = false;
    MotionValue* active_;
    MotionValue* focus_;
    KeyboardFocus* keyboard_;
};
