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

#include "OmbrixUI/PasswordGeneratorView.h"
#include "Support/AppStateFakes.h"
#include "Support/HandClipboard.h"

namespace generatortest {

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
        return std::pair(clipboard->lastText(), clipboard->lastIsSecret());
    }

    fakes::Harness h;
    std::unique_ptr<HandClipboard> clipboard = std::make_unique<HandClipboard>();
    std::vector<HandClipboard::Write>* clipboardWrites = &clipboard->writes();
    std::unique_ptr<AppState> state;
    QWidget mainWindow;
    PasswordGeneratorView* sheet = nullptr;  // owned by its parent
};

}  // namespace generatortest
