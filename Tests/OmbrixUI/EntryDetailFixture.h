#pragma once

// A fixture AppState over the harness's fakes whose clipboard goes through a real clipboard
// service over a memory backend, so that a copy from the detail column can be read back, with
// its secret markers, and its countdown can be ticked by hand.

#include <gtest/gtest.h>

#include <QApplication>

#include <functional>
#include <memory>
#include <vector>

#include "OmbrixUI/EntryDetailPane.h"
#include "Support/AppStateFakes.h"
#include "Support/HandClipboard.h"

namespace detailtest {

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
    QString clipboardText() const { return clipboard->lastText(); }
    bool clipboardIsSecret() const { return clipboard->lastIsSecret(); }
    std::size_t clipboardWrites() const { return clipboard->writes().size(); }

    fakes::Harness h;
    std::unique_ptr<HandClipboard> clipboard = std::make_unique<HandClipboard>();
    std::unique_ptr<AppState> state;
};

}  // namespace detailtest
