#pragma once

#include <QPointer>
#include <QWidget>

class QHBoxLayout;
class QLineEdit;
class MotionValue;

// The frame of a text field around any content (a frameless QLineEdit, or a line edit with
// buttons beside it): 12 of side padding, 30 high (38 when large), Palette::canvas behind,
// a 1-pixel border that is Palette::accent while focused and Palette::line otherwise, and the
// focus ring while focused. It sets no font or text colour: the content chooses its own.
//
// The caller decides what "focused" means, either with setFocused() or by letting the
// frame follow the keyboard focus of one widget inside it (followFocusOf()).
class FieldChrome : public QWidget {
    Q_OBJECT

  public:
    explicit FieldChrome(bool large = false, QWidget* parent = nullptr);

    // Holds the content, left to right; margins 12 left and right.
    QHBoxLayout* contentLayout() const { return layout_; }

    bool isFocused() const { return focused_; }
    void setFocused(bool focused);

    // From now on isFocused() is true exactly while `widget` has the keyboard focus.
    void followFocusOf(QWidget* widget);

    // Makes `edit` fit inside a frame: no frame or background of its own, Palette::text for
    // its text, Palette::textMuted for its placeholder, a translucent accent for selections;
    // it takes text of any length.
    static void prepareLineEdit(QLineEdit* edit);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool focused_ = false;
    QHBoxLayout* layout_;
    QPointer<QWidget> focusSource_;
    MotionValue* focus_;
};

// How an AppTextField looks: the text family at 13 px in a 30-high frame; `large` 14 px and
// 38 high; `mono` the system monospaced font (12 px, 14 px when large).
struct AppTextFieldStyle {
    bool mono = false;
    bool large = false;

    static const AppTextFieldStyle app;
    static const AppTextFieldStyle appLarge;
    static const AppTextFieldStyle appMono;

    QFont font() const;
    int height() const;
};

inline constexpr AppTextFieldStyle AppTextFieldStyle::app{false, false};
inline constexpr AppTextFieldStyle AppTextFieldStyle::appLarge{false, true};
inline constexpr AppTextFieldStyle AppTextFieldStyle::appMono{true, false};

// A framed single-line text field: a FieldChrome holding a frameless QLineEdit, focused while
// the line edit has the keyboard focus.
class AppTextField : public FieldChrome {
    Q_OBJECT

  public:
    explicit AppTextField(AppTextFieldStyle style = AppTextFieldStyle::app, QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return edit_; }
    AppTextFieldStyle style() const { return style_; }

  private:
    AppTextFieldStyle style_;
    QLineEdit* edit_;
};
