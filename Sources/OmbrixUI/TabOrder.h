#pragma once

#include <vector>

class QWidget;

// The keyboard's way through a view follows what is drawn.
//
// Qt's own Tab order is the order in which the controls joined the window, which puts a control
// added later (a form's new row) after everything that was there before it, the sheet's buttons
// included. A view that answers focusNextPrevChild() with moveFocus() is walked in the order its
// layouts place its controls instead: a column top to bottom, a row left to right, a grid row by
// row, a flow as it wraps.
namespace TabOrder {

// The controls inside `root` in that order, hidden and disabled ones too. A control is a widget
// that Tab may give the focus to, or one that hands its focus on to such a widget inside it (a
// field's text box); the widgets inside a control are its own business.
std::vector<QWidget*> drawnStops(QWidget* root);

// Gives the keyboard to the control after (or before) the one that has it, among the controls
// inside `root` that show and are enabled, round from the last to the first. False, changing
// nothing, while the keyboard is not in `root` or there is nowhere to go.
bool moveFocus(QWidget* root, bool next);

}  // namespace TabOrder
