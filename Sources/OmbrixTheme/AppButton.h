#pragma once

#include <QColor>
#include <QPushButton>

class QFontMetricsF;

class KeyboardFocus;
class MotionValue;

// The look of an AppButton. `tinted(c)` carries its colour; the other four are plain.
class ButtonVariant {
  public:
    enum class Kind { tinted, primary, secondary, ghost, danger };

    static constexpr ButtonVariant tinted(const QColor& color) { return ButtonVariant(Kind::tinted, color); }
    static const ButtonVariant primary;
    static const ButtonVariant secondary;
    static const ButtonVariant ghost;
    static const ButtonVariant danger;

    constexpr Kind kind() const { return kind_; }
    constexpr QColor tint() const { return tint_; }

    // The colours of the look at rest and while active (hovered and enabled).
    QColor fill(bool active) const;
    QColor foreground(bool active) const;
    QColor border(bool active) const;

    friend bool operator==(const ButtonVariant& a, const ButtonVariant& b) {
        return a.kind_ == b.kind_ && (a.kind_ != Kind::tinted || a.tint_ == b.tint_);
    }

  private:
    constexpr explicit ButtonVariant(Kind kind, QColor tint = QColor()) : kind_(kind), tint_(tint) {}

    Kind kind_;
    QColor tint_;
};

inline constexpr ButtonVariant ButtonVariant::primary{ButtonVariant::Kind::primary};
inline constexpr ButtonVariant ButtonVariant::secondary{ButtonVariant::Kind::secondary};
inline constexpr ButtonVariant ButtonVariant::ghost{ButtonVariant::Kind::ghost};
inline constexpr ButtonVariant ButtonVariant::danger{ButtonVariant::Kind::danger};

// The interface's text button: a one-line label (optionally after a symbol) on a rounded
// rectangle of radius 8, 30 high (24 when small) with 14 (10) of side padding. Wide buttons
// stretch to the width offered, the others keep their natural width. Hovering an enabled
// button brightens it; a pressed one shows at 0.75 opacity, a disabled one at 0.4.
//
// It is a QPushButton, so inside a QDialog setDefault(true) makes Return press it. It is not
// focused by clicks (a click leaves the keyboard focus where it was) but can be reached with
// Tab, and then shows the focus ring.
class AppButton : public QPushButton {
    Q_OBJECT

  public:
    explicit AppButton(const QString& text, ButtonVariant variant = ButtonVariant::secondary,
                       QWidget* parent = nullptr);

    ButtonVariant variant() const { return variant_; }
    void setVariant(ButtonVariant variant);

    bool isSmall() const { return small_; }
    void setSmall(bool small);

    bool isWide() const { return wide_; }
    void setWide(bool wide);

    // A symbol drawn before the label in the label's colour (11 px, 6 apart); empty for none.
    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);

    // Digits of equal width in the label, for a number that changes while it shows (the button
    // then keeps its width).
    void setTabularDigits(bool tabular);

    // Pointer over the button (whether or not it is enabled).
    bool isHovering() const { return hovering_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

  private:
    QFont labelFont() const;
    qreal labelWidth(const QFontMetricsF& metrics, const QString& label) const;
    void updateLook();
    void applySizePolicy();

    ButtonVariant variant_;
    bool small_ = false;
    bool wide_ = false;
    bool hovering_ = false;
    bool tabularDigits_ = false;
    QString symbol_;
    MotionValue* active_;
    MotionValue* pressed_;
    MotionValue* focus_;
    KeyboardFocus* keyboard_;
};
