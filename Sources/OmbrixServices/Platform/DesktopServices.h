#pragma once

// Makes the process's one clipboard, auto-type and hot-key service over this desktop's backends
// (Qt's clipboard; auto-type and the hot key over the X11 display, inactive without one). The
// program calls it once at start-up, after the QApplication and before anything asks for the
// services; so do the test mains that need the real desktop.
void installDesktopServices();
