#pragma once

#include <QCoreApplication>

// Queued calls and timers need an event loop; one application object serves every test of the
// process.
inline void ensureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "OmbrixServicesTests";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}
