#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>

#include <cstdio>
#include <cstdlib>

#include "Ombrix/App/OmbrixApp.h"
#include "Ombrix/App/QtTurkish.h"
#include "Ombrix/Theme/ApplicationTheme.h"
#include "Ombrix/Theme/FontRegistrar.h"
#include "Ombrix/Theme/Motion.h"

// Widget tests that need Qt's xcb platform itself (native key codes, popups as X11 sees them),
// on a real X server (Xvfb under xvfb-run).
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "These tests need an X11 display; run them through ctest (xvfb-run).\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_SCALE_FACTOR", "1");
    QApplication app(argc, argv);
    FontRegistrar::registerBundledFonts();
    ApplicationTheme::apply(app);
    installQtTurkish(app);
    OmbrixApp::installDesktopServices();
    Motion::setEnabled(false);
    QCursor::setPos(-10000, -10000);
    return RUN_ALL_TESTS();
}
