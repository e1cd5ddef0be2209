// Widget tests that need Qt's xcb platform itself (native key codes, popups as X11 sees them),
// on a real X server (Xvfb under xvfb-run).
#include "OmbrixServices/Platform/DesktopServices.h"
#include "Support/ProgramLook.h"
#include "Support/WidgetSuite.h"

int main(int argc, char** argv) {
    return runWidgetSuite(argc, argv, SuiteDisplay::X11, [](QApplication& app) {
        applyProgramLook(app);
        installDesktopServices();
    });
}
