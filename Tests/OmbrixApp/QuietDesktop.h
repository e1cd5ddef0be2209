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

#include "OmbrixCore/Services/AutoTypeService.h"

class QuietDesktop : public AutoTypeService::Backend {
  public:
    using WindowId = AutoTypeService::WindowId;
    using KeyStroke = AutoTypeService::KeyStroke;

    bool canSynthesize() override { return true; }
    void watchActiveWindow(std::function<void()>) override {}
    WindowId activeWindow() override { return 0; }
    bool isOwnWindow(WindowId) override { return false; }
    bool windowExists(WindowId) override { return false; }
    QString applicationName(WindowId) override { return {}; }
    std::optional<QString> windowTitle(WindowId) override { return std::nullopt; }
    void activate(WindowId) override {}
    bool keysHeld() override { return false; }
    bool beginTyping() override { return true; }
    std::optional<std::vector<KeyStroke>> strokes(QStringView) override { return std::nullopt; }
    std::optional<KeyStroke> stroke(AutoTypeKey) override { return std::nullopt; }
    std::optional<KeyStroke> selectAllStroke() override { return std::nullopt; }
    bool sendKey(std::uint32_t, bool) override { return false; }
    void endRun() override {}
};
