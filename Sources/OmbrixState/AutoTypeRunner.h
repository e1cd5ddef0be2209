#pragma once

#include <functional>
#include <optional>

#include <QString>

#include "OmbrixCore/Kdbx/Models.h"

// Types an entry into the target application. A run goes on while the main loop keeps turning.
class AutoTypeRunner {
  public:
    // Called once when the run ends: with the failure's Turkish text, or none after success.
    using Completion = std::function<void(std::optional<QString> error)>;

    virtual ~AutoTypeRunner() = default;

    // Fills the sequence's placeholders from the entry and types the steps. `done` may be
    // called before run() returns (a run with nothing to type) or later from the main loop.
    virtual void run(const QString& sequence, const KdbxEntry& entry, Completion done) = 0;
    // Stops a run under way at its next step; its completion may still be called.
    virtual void cancel() = 0;
};

// The process's auto-type service.
class ServiceAutoTypeRunner final : public AutoTypeRunner {
  public:
    void run(const QString& sequence, const KdbxEntry& entry, Completion done) override;
    void cancel() override;
};
