#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Whether a control shows its focus ring: while it has the keyboard and got it from the keyboard
// (Tab, or a key that moved it, as the shortcut reason says). A window that hands the focus to its
// first control when it is activated does not light it up; a window losing and regaining
// activation, or a popup over it coming and going, keeps what was shown. It follows the control's
// focus events and calls `changed` after each, so that the control's look follows.
class KeyboardFocus : public QObject {
  public:
    KeyboardFocus(QWidget* control, std::function<void()> changed);

    bool isShown() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* control_;
    std::function<void()> changed_;
    bool fromKeyboard_ = false;
};
