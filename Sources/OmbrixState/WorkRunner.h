#pragma once

#include <exception>
#include <functional>
#include <memory>

#include <QObject>

#include "OmbrixCore/Foundation/StopRequest.h"

// Runs the costly part of an operation (a key derivation with what follows it) away from the
// window's thread, so that the window keeps drawing and answering while it runs. One piece of
// work at a time. Main thread only, but for the work itself.
class WorkRunner {
  public:
    using Work = std::function<void(const StopFlag& stop)>;
    // What the work threw, or null.
    using Done = std::function<void(std::exception_ptr failure)>;

    virtual ~WorkRunner() = default;

    // Runs `work`, then `done` on the main thread (never inside this call, unless the work could
    // not be started at all: then at once, with that failure). `context` ends the delivery of
    // `done` when it goes.
    virtual void start(Work work, Done done, QObject* context) = 0;
    // Runs `work` and returns when it has ended, rethrowing what it threw. Meanwhile the main loop
    // turns: the window draws and answers the pointer and the keys at once, and a signal to end
    // the program is heard. What the user does meanwhile runs inside this call, so the caller
    // marks what may not happen then (the state refuses changes while it saves). A menu or a
    // dialog opened meanwhile ends first.
    virtual void runAndWait(const Work& work) = 0;
    virtual bool isRunning() const = 0;
    // Raises the running work's stop flag.
    virtual void stop() = 0;
    // Stops the running work, waits for it, and drops its `done`.
    virtual void abandon() = 0;
};

// On a thread of its own for each piece of work.
class ThreadWorkRunner final : public WorkRunner {
  public:
    ThreadWorkRunner();
    ~ThreadWorkRunner() override;

    void start(Work work, Done done, QObject* context) override;
    void runAndWait(const Work& work) override;
    bool isRunning() const override;
    void stop() override;
    void abandon() override;

  private:
    struct Job;
    void finish(const std::shared_ptr<Job>& job);

    std::shared_ptr<Job> job_;
};

// At once, on the calling thread, inside start(): for tests and tools that want every
// operation done when it returns.
class InlineWorkRunner final : public WorkRunner {
  public:
    void start(Work work, Done done, QObject* context) override;
    void runAndWait(const Work& work) override;
    bool isRunning() const override { return false; }
    void stop() override {}
    void abandon() override {}
};
