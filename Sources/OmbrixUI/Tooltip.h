#pragma once

#include <QRect>
#include <QString>

class QHelpEvent;
class QWidget;

// The interface's one way of showing tool tips: the platform's own, which never takes a click,
// a drag or the hover away from the widget beneath.

// Gives `widget` the tool tip `text` over its whole area; the empty text removes it. A tip that
// is showing for the widget follows the new text at once (or closes, when it becomes empty).
void setTooltip(QWidget* widget, const QString& text);

// For items painted inside one widget (list rows, delegate buttons): answers the tool-tip
// event `event` of `widget` with `text` when the pointer is inside `area` (widget coordinates),
// and keeps the tip only while the pointer stays in that area. Returns whether it showed a tip;
// when not, the caller may try another area or leave the event to the widget.
bool showAreaTooltip(const QHelpEvent* event, QWidget* widget, const QRect& area, const QString& text);
