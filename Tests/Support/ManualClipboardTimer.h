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
    explicit ManualTimer(std::shared_ptr<ManualClock> clock) : m_clock(std::move(clock)) {}
    void start(std::function<void()> onTick) override {
        m_clock->onTick = std::move(onTick);
        m_clock->running = true;
        ++m_clock->starts;
    }
    void stop() override { m_clock->running = false; }

  private:
    std::shared_ptr<ManualClock> m_clock;
};

}  // namespace testsupport
