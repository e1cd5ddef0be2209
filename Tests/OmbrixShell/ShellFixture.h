#pragma once

// What the tests of the whole shell (the root view and the application object) share.

#include <QApplication>
#include <QEvent>

#include "Support/CancelledPanels.h"

namespace shell {

// Runs what is due, and deletes what was left for deletion: tests run outside an event loop.
inline void settle() {
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Every file dialog is cancelled.
using ::CancelledPanels;

}  // namespace shell
