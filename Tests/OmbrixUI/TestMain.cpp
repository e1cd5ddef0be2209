// The views' suite: the program's look, and the shared desktop services the views copy and
// type through.
#include "OmbrixServices/Platform/DesktopServices.h"
#include "Support/ProgramLook.h"
#include "Support/WidgetSuite.h"

int main(int argc, char** argv) {
    return runWidgetSuite(argc, argv, SuiteDisplay::Offscreen, [](QApplication& app) {
        applyProgramLook(app);
        installDesktopServices();
    });
}
