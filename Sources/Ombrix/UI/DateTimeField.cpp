#include "Ombrix/UI/DateTimeField.h"

#include <QWheelEvent>

DateTimeField::DateTimeField(QWidget* parent) : QDateTimeEdit(parent) {
    // A spin box takes the focus from the wheel by default, and then the value with it.
    setFocusPolicy(Qt::StrongFocus);
}

void DateTimeField::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QDateTimeEdit::wheelEvent(event);
}
