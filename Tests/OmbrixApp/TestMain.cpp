// The application suite needs a QApplication (offscreen) with the bundled fonts registered and
// the application theme applied, as the program has at start-up. Transitions are switched
// off so that every state shows at once in a grabbed widget, and the pointer is parked
// away from the windows the tests open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>

#include "Ombrix/App/OmbrixApp.h"
#include "Ombrix/App/QtTurkish.h"
#include "Ombrix/Theme/ApplicationTheme.h"
#include "Ombrix/Theme/FontRegistrar.h"
#include "Ombrix/Theme/Motion.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // CTest lists the tests without the suite's environment; the suite never needs a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "1");
    QApplication app(argc, argv);
    FontRegistrar::registerBundledFonts();
    ApplicationTheme::apply(app);
    installQtTurkish(app);
    OmbrixApp::installDesktopServices();
    Motion::setEnabled(false);
    // Windows open at the origin; a pointer resting there would hover whatever a test shows.
    QCursor::setPos(-10000, -10000);
    return RUN_ALL_TESTS();
}
