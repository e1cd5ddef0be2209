#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "OmbrixServices/Services/ClipboardService.h"

namespace testsupport {

// The clipboard service's one-second timer, advanced by the test by hand.
struct ManualClock {
    std::function<void()> onTick;
    bool running = false;
    int starts = 0;

    void advance(int seconds) {
        for (int i = 0; i < seconds && running; ++i) onTick();
    }
};

class ManualTimer final : public ClipboardService::Timer {
  public:
    explicit ManualTimer(std::shared_ptr<ManualClock> clock) : clock_(std::move(clock)) {}
    void start(std::function<void()> onTick) override {
        clock_->onTick = std::move(onTick);
        clock_->running = true;
        ++clock_->starts;
    }
    void stop() override { clock_->running = false; }

  private:
    std::shared_ptr<ManualClock> clock_;
};

}  // namespace testsupport
