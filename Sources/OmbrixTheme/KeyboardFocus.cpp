#include "OmbrixTheme/KeyboardFocus.h"

#include <QFocusEvent>
#include <QWidget>

KeyboardFocus::KeyboardFocus(QWidget* control, std::function<void()> changed)
    : QObject(control), control_(control), changed_(std::move(changed)) {
    control->installEventFilter(this);
}

bool KeyboardFocus::isShown() const {
    return fromKeyboard_ && control_->hasFocus();
}

bool KeyboardFocus::eventFilter(QObject* watched, QEvent* event) {
    if (watched == control_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        const auto& focus = static_cast<const QFocusEvent&>(*event);
        switch (focus.reason()) {
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::ShortcutFocusReason:
                fromKeyboard_ = focus.gotFocus();
                break;
            case Qt::ActiveWindowFocusReason:
            case Qt::PopupFocusReason:
                break;
            default:
                fromKeyboard_ = false;
        }
        if (changed_) changed_();
    }
    return QObject::eventFilter(watched, event);
}
