#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <vector>

#include "OmbrixUI/IconPicker.h"
#include "Support/TabWalk.h"

namespace {

// A window holding a picker that starts at `iconID`.
struct PickerWindow {
    QWidget window;
    IconPicker* picker;

    explicit PickerWindow(std::int64_t iconID) : picker(new IconPicker(iconID)) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(picker);
        layout->addStretch();
        window.resize(360, 240);
        window.show();
        QApplication::setActiveWindow(&window);
        QApplication::processEvents();
    }

    void open() {
        QTest::mouseClick(picker->pickerButton(), Qt::LeftButton);
        QApplication::processEvents();
    }

    std::vector<std::int64_t> checkedCells() const {
        std::vector<std::int64_t> checked;
        for (std::int64_t n : IconPicker::choices())
            if (picker->cell(n)->isChecked()) checked.push_back(n);
        return checked;
    }
};

}  // namespace

TEST(IconPicker, OffersTheEighteenStandardIconsInOrder) {
    const std::vector<std::int64_t> expected{0,  1,  3,  5,  6,  9,  13, 16, 19,
                                             20, 24, 27, 29, 34, 36, 43, 60, 62};
    EXPECT_EQ(std::vector<std::int64_t>(IconPicker::choices().begin(), IconPicker::choices().end()),
              expected);
    PickerWindow w(0);
    for (std::int64_t n : expected) EXPECT_NE(w.picker->cell(n), nullptr) << n;
    EXPECT_EQ(w.picker->cell(48), nullptr);
    EXPECT_EQ(w.picker->pickerButton()->toolTip(), QStringLiteral("Simge seç"));
}

TEST(IconPicker, PressingACellChoosesItsNumberAndCloses) {
    struct Case {
        std::int64_t start;
        std::int64_t pressed;
        std::vector<std::int64_t> checkedWhenOpen;
        int changes;
        const char* note;
    };
    const Case cases[] = {
        {0, 43, {0}, 1, "another choice"},
        {43, 43, {43}, 0, "the current choice"},
        {48, 1, {}, 1, "from a number that is not offered"},
    };
    for (const Case& c : cases) {
        PickerWindow w(c.start);
        QSignalSpy changes(w.picker, &IconPicker::iconIDChanged);
        w.open();
        ASSERT_TRUE(w.picker->isExpanded()) << c.note;
        ASSERT_TRUE(w.picker->popup()->isVisible()) << c.note;
        EXPECT_EQ(w.checkedCells(), c.checkedWhenOpen) << c.note;
        // The grid opens below the button.
        const QPoint buttonBottom =
            w.picker->pickerButton()->mapToGlobal(QPoint(0, w.picker->pickerButton()->height()));
        EXPECT_GE(w.picker->popup()->geometry().top(), buttonBottom.y()) << c.note;

        QTest::mouseClick(w.picker->cell(c.pressed), Qt::LeftButton);
        EXPECT_EQ(w.picker->iconID(), c.pressed) << c.note;
        EXPECT_EQ(changes.count(), c.changes) << c.note;
        EXPECT_FALSE(w.picker->isExpanded()) << c.note;
        EXPECT_FALSE(w.picker->popup()->isVisible()) << c.note;
        EXPECT_EQ(w.checkedCells(), std::vector<std::int64_t>{c.pressed}) << c.note;
    }
}

TEST(IconPicker, EscapeAnOutsideClickOrTheButtonCloseWithoutChoosing) {
    PickerWindow w(5);
    QSignalSpy changes(w.picker, &IconPicker::iconIDChanged);

    w.open();
    QTest::keyClick(w.picker->popup(), Qt::Key_Escape);
    EXPECT_FALSE(w.picker->popup()->isVisible());
    EXPECT_FALSE(w.picker->isExpanded());

    // Real presses go through the window system, where the open popup takes them first.
    QWindow* window = w.window.windowHandle();
    const auto pressAt = [&](QPoint inWindow) {
        QTest::mouseClick(window, Qt::LeftButton, {}, inWindow);
        QApplication::processEvents();
    };
    w.open();
    pressAt(QPoint(w.window.width() - 10, w.window.height() - 10));
    EXPECT_FALSE(w.picker->isExpanded()) << "click outside";

    w.open();
    ASSERT_TRUE(w.picker->isExpanded());
    const QAbstractButton* button = w.picker->pickerButton();
    pressAt(button->mapTo(&w.window, button->rect().center()));
    EXPECT_FALSE(w.picker->isExpanded()) << "the picker button closes and does not reopen";
    EXPECT_FALSE(w.picker->popup()->isVisible());
    pressAt(button->mapTo(&w.window, button->rect().center()));
    EXPECT_TRUE(w.picker->isExpanded()) << "pressed again it opens";
    w.picker->setExpanded(false);

    EXPECT_EQ(w.picker->iconID(), 5);
    EXPECT_EQ(changes.count(), 0);
    w.open();  // and the window goes away with the grid open
}

// From the keyboard: Tab reaches the picker, Space or Return opens the grid on the current
// icon, the arrows walk the grid (six across) and Space or Return chooses; Escape leaves the
// number as it was. The keyboard is back on the picker afterwards.
TEST(IconPicker, TheKeyboardOpensWalksAndChoosesTheGrid) {
    struct Case {
        std::int64_t start;
        Qt::Key opener;
        std::vector<Qt::Key> walk;
        Qt::Key chooser;
        std::int64_t chosen;
        const char* note;
    };
    const Case cases[] = {
        {0,
         Qt::Key_Space,
         {Qt::Key_Right, Qt::Key_Right, Qt::Key_Down},
         Qt::Key_Return,
         19,
         "from 0: two right, one down"},
        {43, Qt::Key_Return, {Qt::Key_Up, Qt::Key_Left}, Qt::Key_Space, 19, "from 43: up, left"},
        {48, Qt::Key_Space, {Qt::Key_Down}, Qt::Key_Return, 13, "not offered: from the first cell"},
        {62, Qt::Key_Space, {Qt::Key_Right, Qt::Key_Down}, Qt::Key_Return, 62, "the last cell stays"},
        {5, Qt::Key_Space, {Qt::Key_Right}, Qt::Key_Escape, 5, "Escape chooses nothing"},
    };
    for (const Case& c : cases) {
        PickerWindow w(c.start);
        QAbstractButton* button = w.picker->pickerButton();
        button->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), button) << c.note << ": Tab reaches the picker";
        QTest::keyClick(button, c.opener);
        QApplication::processEvents();
        ASSERT_TRUE(w.picker->isExpanded()) << c.note;
        ASSERT_NE(QApplication::focusWidget(), nullptr) << c.note;
        for (const Qt::Key key : c.walk) {
            // The cell with the keyboard shows it; the same cell left behind does not.
            QWidget* cell = QApplication::focusWidget();
            const QImage focused = cell->grab().toImage();
            QTest::keyClick(cell, key);
            if (QApplication::focusWidget() != cell) {
                const tabwalk::Difference mark = tabwalk::difference(focused, cell->grab().toImage());
                EXPECT_GE(mark.pixels, 40) << c.note;
            }
        }
        QTest::keyClick(QApplication::focusWidget(), c.chooser);
        QApplication::processEvents();
        EXPECT_EQ(w.picker->iconID(), c.chosen) << c.note;
        EXPECT_FALSE(w.picker->isExpanded()) << c.note;
        EXPECT_EQ(QApplication::focusWidget(), button) << c.note << ": the keyboard is back on the picker";
    }
}
