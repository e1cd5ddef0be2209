#pragma once

#include <QScrollArea>
#include <QWidget>

#include <initializer_list>

class ElidedLabel;

// The parts the sheets and the settings window are built from, so that they look alike.
namespace SheetLayout {

// The sheet's surface behind text in the text colour; the window fills its background with it.
void applySurface(QWidget* window);

// The header: the title in the sheet-title font and, when given, a subtitle below it in muted
// 11 px text, each on one line, padded 16 across and 12 down.
QWidget* header(ElidedLabel* title, ElidedLabel* subtitle = nullptr);

// A body of cards: padded 16, the cards 12 apart in their order, spare room below them.
QWidget* cardColumn(std::initializer_list<QWidget*> cards);

// A frameless area that scrolls `body` vertically only, with the slim scroll bar. The surface
// shows through it.
QScrollArea* scrollingBody(QWidget* body);

// Scrolls `area` whenever a control inside it takes the keyboard so that the control shows, also
// when the focus comes from outside the area (Tab from a sheet's footer round to the first field).
void keepFocusInView(QScrollArea* area);

// Wrapping text asks, as its minimum, for the height it needs at a very narrow width, which
// would make a sheet's body scroll although the form fits. One line is its true minimum: its
// height at the width it gets comes from heightForWidth.
void relaxMinimumHeight(QWidget* widget);

// The footer: `buttons` in their order at the trailing edge, 8 apart, 12 from the edges.
QWidget* footer(std::initializer_list<QWidget*> buttons);

}  // namespace SheetLayout
