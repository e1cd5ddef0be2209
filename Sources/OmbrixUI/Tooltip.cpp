#include "OmbrixUI/Tooltip.h"

#include <QCursor>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

void setTooltip(QWidget* widget, const QString& text) {
    if (!widget || widget->toolTip() == text) return;
    widget->setToolTip(text);
    // Qt leaves a shown tip as it was; a button whose meaning just flipped must not keep
    // showing the old words.
    if (QToolTip::isVisible() && widget->underMouse()) {
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(QCursor::pos(), text, widget, widget->rect());
    }
}

bool showAreaTooltip(const QHelpEvent* event, QWidget* widget, const QRect& area, const QString& text) {
    if (!event || !widget || text.isEmpty() || !area.contains(event->pos())) return false;
    QToolTip::showText(event->globalPos(), text, widget, area);
    return true;
}
