#pragma once

// What the tests of the whole shell (the root view and the application object) share.

#include <QApplication>
#include <QEvent>
#include <QString>

#include <optional>

#include "OmbrixState/FilePanels.h"

namespace shell {

// Runs what is due, and deletes what was left for deletion: tests run outside an event loop.
inline void settle() {
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Every file dialog is cancelled.
class CancelledPanels final : public FilePanels {
  public:
    std::optional<QString> chooseDatabase() override { return std::nullopt; }
    std::optional<QString> chooseKeyFile() override { return std::nullopt; }
    std::optional<QString> newDatabaseDestination() override { return std::nullopt; }
    std::optional<QString> saveAsDestination(const QString&) override { return std::nullopt; }
};

}  // namespace shell
