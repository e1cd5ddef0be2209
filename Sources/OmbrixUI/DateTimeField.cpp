#include "OmbrixUI/DateTimeField.h"

#include <QCalendarWidget>
#include <QTextCharFormat>
#include <QToolButton>
#include <QTransform>
#include <QWheelEvent>

#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Palette.h"

namespace {

// The chevron pointing right, or mirrored to point left, in the muted text colour; drawn for the
// sizes a tool button asks for.
QIcon chevron(bool left) {
    QIcon icon;
    for (const int size : {12, 16, 24, 32}) {
        QPixmap pixmap = Icons::pixmap(QStringLiteral("chevron.right"), size, Palette::textSoft);
        if (left) pixmap = pixmap.transformed(QTransform().scale(-1, 1));
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

DateTimeField::DateTimeField(QWidget* parent) : QDateTimeEdit(parent) {
    // A spin box takes the focus from the wheel by default, and then the value with it.
    setFocusPolicy(Qt::StrongFocus);
    setCalendarPopup(true);
    // The calendar turns its months with the interface's chevrons, not the style's stock arrows.
    if (QCalendarWidget* calendar = calendarWidget()) {
        if (auto* previous = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_prevmonth")))
            previous->setIcon(chevron(true));
        if (auto* next = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_nextmonth")))
            next->setIcon(chevron(false));
        // The weekend, names and digits, in the soft text colour instead of the stock red.
        for (const Qt::DayOfWeek day : {Qt::Saturday, Qt::Sunday}) {
            QTextCharFormat format = calendar->weekdayTextFormat(day);
            format.setForeground(Palette::textSoft);
            calendar->setWeekdayTextFormat(day, format);
        }
    }
}

void DateTimeField::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QDateTimeEdit::wheelEvent(event);
}
