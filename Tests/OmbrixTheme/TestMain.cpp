// The theme's suite draws its controls as the program does: with the bundled fonts and the
// application theme.
#include "Support/ProgramLook.h"
#include "Support/WidgetSuite.h"

int main(int argc, char** argv) {
    return runWidgetSuite(argc, argv, SuiteDisplay::Offscreen, applyProgramLook);
}
