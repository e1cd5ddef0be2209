#pragma once

// A real clipboard service whose system clipboard is a list in memory and whose countdown moves
// only when the test says so.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "OmbrixServices/Services/ClipboardService.h"

class HandClipboard : public ClipboardService {
  public:
    using Write = std::vector<ClipboardService::Format>;

    HandClipboard() : HandClipboard(new MemoryBackend, new HandTimer) {}

    // One second of the countdown, if one runs.
    void advanceOneSecond() {
        if (timer_->tick) timer_->tick();
    }

    // Every write so far, oldest first; a test may clear it to start counting afresh.
    std::vector<Write>& writes() { return backend_->writes; }
    const std::vector<Write>& writes() const { return backend_->writes; }

    // The plain text of the last write (empty before any), and whether it was marked concealed.
    QString lastText() const { return lastFormat(ClipboardService::plainTextType).value_or(QString()); }
    bool lastIsSecret() const { return lastFormat(ClipboardService::concealedType).has_value(); }

  private:
    // A write stays on the clipboard until the next one.
    struct MemoryBackend final : ClipboardService::Backend {
        std::uint64_t write(const Write& formats) override {
            writes.push_back(formats);
            return writes.size();
        }
        bool holds(std::uint64_t write) const override { return write == writes.size(); }

        std::vector<Write> writes;
    };

    struct HandTimer final : ClipboardService::Timer {
        void start(std::function<void()> onTick) override { tick = std::move(onTick); }
        void stop() override { tick = {}; }

        std::function<void()> tick;
    };

    // Both are owned by the service; the pointers let the test reach them.
    HandClipboard(MemoryBackend* backend, HandTimer* timer)
        : ClipboardService(std::unique_ptr<Backend>(backend), std::unique_ptr<Timer>(timer)),
          backend_(backend),
          timer_(timer) {}

    std::optional<QString> lastFormat(const char* mimeType) const {
        if (backend_->writes.empty()) return std::nullopt;
        for (const ClipboardService::Format& format : backend_->writes.back())
            if (format.mimeType == QLatin1String(mimeType)) return QString::fromUtf8(format.data);
        return std::nullopt;
    }

    MemoryBackend* backend_;
    HandTimer* timer_;
};
