#pragma once

#include <functional>

class QApplication;

// Where the widget suites run: on Qt's offscreen platform (unless the environment names another),
// or on the X server of the display the suite was started under (xvfb-run).
enum class SuiteDisplay { Offscreen, X11 };

// The main of every widget suite: gtest takes its arguments, one QApplication serves every test of
// the process, `prepare` sets it up as the suite's layer needs, and the pointer is parked away
// from the windows the tests open.
int runWidgetSuite(int argc, char** argv, SuiteDisplay display,
                   const std::function<void(QApplication&)>& prepare = {});
