#pragma once

#include <QString>

#include <optional>

#include "OmbrixState/FilePanels.h"

// File dialogs of which every one is cancelled.
class CancelledPanels final : public FilePanels {
  public:
    std::optional<QString> chooseDatabase() override { return std::nullopt; }
    std::optional<QString> chooseKeyFile() override { return std::nullopt; }
    std::optional<QString> newDatabaseDestination() override { return std::nullopt; }
    std::optional<QString> saveAsDestination(const QString&) override { return std::nullopt; }
};
