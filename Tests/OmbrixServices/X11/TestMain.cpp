#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// These tests talk to a real X server (Xvfb under xvfb-run), so the application runs on Qt's
// xcb platform whatever the environment asks for.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "These tests need an X11 display; run them through ctest (xvfb-run).\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
