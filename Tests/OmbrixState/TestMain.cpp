// The state's suite runs in a QApplication (the file dialogs are widgets) with the shared
// desktop services the program has.
#include "OmbrixServices/Platform/DesktopServices.h"
#include "Support/WidgetSuite.h"

int main(int argc, char** argv) {
    return runWidgetSuite(argc, argv, SuiteDisplay::Offscreen,
                          [](QApplication&) { installDesktopServices(); });
}
