// The shell's suite runs in a QApplication set up as the program's main() sets it up: the look,
// Qt's own words in Turkish and the shared desktop services.
#include "OmbrixServices/Platform/DesktopServices.h"
#include "OmbrixShell/QtTurkish.h"
#include "Support/ProgramLook.h"
#include "Support/WidgetSuite.h"

int main(int argc, char** argv) {
    return runWidgetSuite(argc, argv, SuiteDisplay::Offscreen, [](QApplication& app) {
        applyProgramLook(app);
        installQtTurkish(app);
        installDesktopServices();
    });
}
