#pragma once

#include <QApplication>

#include "OmbrixTheme/ApplicationTheme.h"
#include "OmbrixTheme/FontRegistrar.h"
#include "OmbrixTheme/Motion.h"

// The look the program has from start-up: the bundled fonts registered and the application theme
// applied. Transitions are switched off so that every state shows at once in a grabbed widget.
inline void applyProgramLook(QApplication& app) {
    FontRegistrar::registerBundledFonts();
    ApplicationTheme::apply(app);
    Motion::setEnabled(false);
}
