#pragma once

#include <QPalette>

class QApplication;

// The look of the widgets Ombrix does not paint itself (menus, scroll bars, stock dialogs,
// tool tips): Qt's Fusion style with a dark palette taken from the design tokens.
namespace ApplicationTheme {

// The palette every stock widget draws with.
QPalette palette();

// Sets the Fusion style (tool tips framed in Palette::lineStrong), palette(), the tool-tip
// palette and the default font (the text family at 13 px) on `app`. Call it once at start-up, after
// registering the fonts.
void apply(QApplication& app);

}  // namespace ApplicationTheme
