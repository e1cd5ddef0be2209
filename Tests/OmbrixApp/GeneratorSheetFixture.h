#pragma once

// The password-generator sheet over the harness's state and preferences, opened over a main
// window, with a clipboard service whose writes the test reads back.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "AppStateFakes.h"
#include "Ombrix/UI/PasswordGeneratorView.h"
#include "OmbrixCore/Services/ClipboardService.h"

namespace generatortest {

class MemoryClipboard final : public ClipboardService::Backend {
  public:
    std::uint64_t write(const std::vector<ClipboardService::Format>& formats) override {
        writes.push_back(formats);
        return writes.size();
    }
    bool holds(std::uint64_t write) const override { return write == writes.size(); }

    std::vector<std::vector<ClipboardService::Format>> writes;
};

class StillTimer final : public ClipboardService::Timer {
  public:
    void start(std::function<void()>) override {}
    void stop() override {}
};

// Random bytes that differ at every call, so two generations never give the same password.
inline PasswordGenerator::RandomSource countingSource() {
    return [next = std::uint8_t{0}](std::span<std::uint8_t> out) mutable {
        for (std::uint8_t& byte : out) byte = next++ * 37 + 11;
        return true;
    };
}

class GeneratorFixture : public ::testing::Test {
  protected:
    GeneratorFixture() {
        auto backend = std::make_unique<MemoryClipboard>();
        clipboardWrites = &backend->writes;
        clipboard = std::make_unique<ClipboardService>(std::move(backend), std::make_unique<StillTimer>());
        state = h.makeState();
        mainWindow.resize(800, 700);
        mainWindow.show();
    }

    // Route mode unless `onUse` is given; shown over `parent` (the main window by default).
    PasswordGeneratorView& open(PasswordGeneratorView::UseCallback onUse = {}, QWidget* parent = nullptr) {
        QWidget* over = parent ? parent : &mainWindow;
        sheet = onUse ? new PasswordGeneratorView(*state, h.preferences, *clipboard, std::move(onUse), over)
                      : new PasswordGeneratorView(*state, h.preferences, *clipboard, over);
        sheet->setRandomSource(countingSource());
        sheet->open();
        QApplication::setActiveWindow(sheet);
        QApplication::processEvents();
        return *sheet;
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(sheet, key, modifiers);
        QApplication::processEvents();
    }

    // The text of the last clipboard write and whether it carried the concealed marker.
    std::optional<std::pair<QString, bool>> lastCopy() const {
        if (clipboardWrites->empty()) return std::nullopt;
        QString text;
        bool concealed = false;
        for (const ClipboardService::Format& f : clipboardWrites->back()) {
            if (f.mimeType == QLatin1String(ClipboardService::plainTextType))
                text = QString::fromUtf8(f.data);
            if (f.mimeType == QLatin1String(ClipboardService::concealedType)) concealed = true;
        }
        return std::pair(text, concealed);
    }

    fakes::Harness h;
    std::unique_ptr<ClipboardService> clipboard;
    std::vector<std::vector<ClipboardService::Format>>* clipboardWrites = nullptr;
    std::unique_ptr<AppState> state;
    QWidget mainWindow;
    PasswordGeneratorView* sheet = nullptr;  // owned by its parent
};

}  // namespace generatortest
