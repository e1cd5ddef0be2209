#pragma once

#include <chrono>
#include <functional>

#include <QObject>

// Runs a call later on the main thread; the call is dropped if `context` is gone by then.
class Scheduler {
  public:
    virtual ~Scheduler() = default;

    virtual void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> call) = 0;
};

// The main loop's timers.
class TimerScheduler final : public Scheduler {
  public:
    void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> call) override;
};
