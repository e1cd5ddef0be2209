#pragma once

// A fixture AppState over the harness's fakes whose clipboard goes through a real clipboard
// service over a memory backend, so that a copy from the detail column can be read back, with
// its secret markers, and its countdown can be ticked by hand.

#include <gtest/gtest.h>

#include <QApplication>

#include <functional>
#include <memory>
#include <vector>

#include "AppStateFakes.h"
#include "Ombrix/UI/EntryDetailPane.h"
#include "OmbrixCore/Services/ClipboardService.h"

namespace detailtest {

class MemoryBackend final : public ClipboardService::Backend {
  public:
    std::uint64_t write(const std::vector<ClipboardService::Format>& formats) override {
        writes.push_back(formats);
        return writes.size();
    }
    bool holds(std::uint64_t write) const override { return write == writes.size(); }

    std::vector<std::vector<ClipboardService::Format>> writes;
};

class HandTimer final : public ClipboardService::Timer {
  public:
    explicit HandTimer(std::function<void()>* tick) : tick_(tick) {}
    void start(std::function<void()> onTick) override { *tick_ = std::move(onTick); }
    void stop() override { *tick_ = {}; }

  private:
    std::function<void()>* tick_;
};

// AppState's clipboard as the application wires it, but to the given service.
class ServiceClipboard final : public ClipboardAccess {
  public:
    explicit ServiceClipboard(ClipboardService& service) : service_(service) {}
    void copySecret(const QString& text) override { service_.copySecret(text); }
    void copyPlain(const QString& text) override { service_.copyPlain(text); }
    void clearNow() override { service_.clearNow(); }

  private:
    ClipboardService& service_;
};

class DetailFixture : public ::testing::Test {
  protected:
    DetailFixture() {
        auto backend = std::make_unique<MemoryBackend>();
        backend_ = backend.get();
        clipboard =
            std::make_unique<ClipboardService>(std::move(backend), std::make_unique<HandTimer>(&tick));
        AppStateDependencies deps = h.dependencies();
        deps.clipboard = std::make_shared<ServiceClipboard>(*clipboard);
        state = std::make_unique<AppState>(deps);
    }

    void open(KdbxGroup root) { fakes::open(h, *state, fakes::database(std::move(root))); }

    std::unique_ptr<EntryDetailPane> makePane(int width = 420, int height = 900) {
        auto pane = std::make_unique<EntryDetailPane>(*state, *clipboard, h.preferences);
        pane->resize(width, height);
        pane->show();
        QApplication::processEvents();
        return pane;
    }

    void select(std::initializer_list<UUID> ids) { state->setSelectedEntryIDs(UUIDSet(ids)); }

    // The text of the last clipboard write, and whether it carried the secret markers.
    QString clipboardText() const {
        if (backend_->writes.empty()) return {};
        for (const auto& format : backend_->writes.back())
            if (format.mimeType == QLatin1String(ClipboardService::plainTextType))
                return QString::fromUtf8(format.data);
        return {};
    }
    bool clipboardIsSecret() const {
        if (backend_->writes.empty()) return false;
        for (const auto& format : backend_->writes.back())
            if (format.mimeType == QLatin1String(ClipboardService::concealedType)) return true;
        return false;
    }
    std::size_t clipboardWrites() const { return backend_->writes.size(); }

    fakes::Harness h;
    std::function<void()> tick;
    std::unique_ptr<ClipboardService> clipboard;
    std::unique_ptr<AppState> state;

  private:
    MemoryBackend* backend_;
};

}  // namespace detailtest
