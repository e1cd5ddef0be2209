#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OmbrixServices/Platform/DesktopServices.h"
#include "QtTarget.h"
#include "Support/X11/MiniWindowManager.h"

// These tests talk to a real X server (Xvfb under xvfb-run), so the application runs on Qt's
// xcb platform whatever the environment asks for.
//
// Started with "--window-manager LAG_MS" the program is no test but the window manager of the
// display, in a process of its own (see WindowManagerProcess); with "--qt-target TITLE", another
// application's Qt text field (see QtTarget).
int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--window-manager") == 0) {
        return MiniWindowManager::runAsProcess(argc, argv, std::atoi(argv[2]));
    }
    if (argc == 3 && std::strcmp(argv[1], "--qt-target") == 0) return QtTarget::runAsProcess(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "These tests need an X11 display; run them through ctest (xvfb-run).\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    // The shared services over the real desktop, as the program makes them.
    installDesktopServices();
    return RUN_ALL_TESTS();
}
