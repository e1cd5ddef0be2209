#include "Support/WidgetSuite.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>

#include <cstdio>
#include <cstdlib>

int runWidgetSuite(int argc, char** argv, SuiteDisplay display,
                   const std::function<void(QApplication&)>& prepare) {
    ::testing::InitGoogleTest(&argc, argv);
    if (display == SuiteDisplay::X11) {
        if (!std::getenv("DISPLAY")) {
            std::fprintf(stderr, "These tests need an X11 display; run them through ctest (xvfb-run).\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("QT_SCALE_FACTOR", "1");
    } else {
        // CTest lists the tests without the suite's environment; the suite never needs a display.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "1");
    }
    QApplication app(argc, argv);
    if (prepare) prepare(app);
    // Windows open at the origin; a pointer resting there would hover whatever a test shows.
    QCursor::setPos(-10000, -10000);
    return RUN_ALL_TESTS();
}
