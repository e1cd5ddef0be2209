// The program started and driven as another X11 client would, on a real X server (Xvfb under
// xvfb-run); the suite's own process is set up as the program is.
#include "OmbrixServices/Platform/DesktopServices.h"
#include "OmbrixShell/QtTurkish.h"
#include "Support/ProgramLook.h"
#include "Support/WidgetSuite.h"

int main(int argc, char** argv) {
    return runWidgetSuite(argc, argv, SuiteDisplay::X11, [](QApplication& app) {
        applyProgramLook(app);
        installQtTurkish(app);
        installDesktopServices();
    });
}
