#pragma once

#include <QScrollArea>
#include <QWidget>

#include <initializer_list>

// The parts the sheets and the settings window are built from, so that they look alike.
namespace SheetLayout {

// The sheet's surface behind text in the text colour; the window fills its background with it.
void applySurface(QWidget* window);

// A frameless area that scrolls `body` vertically only. The surface shows through it.
QScrollArea* scrollingBody(QWidget* body);

// The footer: `buttons` in their order at the trailing edge, 8 apart, 12 from the edges.
QWidget* footer(std::initializer_list<QWidget*> buttons);

}  // namespace SheetLayout
