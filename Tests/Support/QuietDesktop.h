#pragma once

// A desktop for the auto-type service on which nothing happens: key presses could be
// synthesised, but no window is active, none exists and nothing is ever typed. A test derives
// from it and answers only the questions it is about.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "OmbrixServices/Services/AutoTypeService.h"

class QuietDesktop : public AutoTypeService::Backend {
  public:
    using WindowId = AutoTypeService::WindowId;
    using KeyStroke = AutoTypeService::KeyStroke;

    bool canSynthesize() override { return true; }
    void watchActiveWindow(std::function<void()>) override {}
    WindowId activeWindow() override { return 0; }
    bool hasFocus(WindowId window) override { return window != 0 && window == activeWindow(); }
    bool isOwnWindow(WindowId) override { return false; }
    bool windowExists(WindowId) override { return false; }
    QString applicationName(WindowId) override { return {}; }
    std::optional<QString> windowTitle(WindowId) override { return std::nullopt; }
    void activate(WindowId) override {}
    bool keysHeld() override { return false; }
    Outcome beginTyping(WindowId) override { return Outcome::done; }
    std::optional<CharacterStrokes> strokes(QStringView) override { return std::nullopt; }
    std::optional<KeyStroke> stroke(AutoTypeKey) override { return std::nullopt; }
    std::optional<KeyStroke> selectAllStroke() override { return std::nullopt; }
    Outcome pressKey(WindowId, std::uint32_t, const std::vector<std::uint32_t>&, bool) override {
        return Outcome::failed;
    }
    bool releaseKey(std::uint32_t) override { return false; }
    void endRun() override {}
};
