#pragma once

#include <QApplication>
#include <QTimer>

#include <functional>

// Runs `drive` on the modal widget once it is shown (as soon as the dialog's loop turns).
template <class Widget>
void whenShown(std::function<void(Widget*)> drive) {
    QTimer::singleShot(0, [drive] {
        auto* widget = qobject_cast<Widget*>(QApplication::activeModalWidget());
        if (!widget) {
            whenShown<Widget>(drive);
            return;
        }
        drive(widget);
    });
}
