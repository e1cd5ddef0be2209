#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <optional>
#include <tuple>

#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/HotKeyFormatter.h"
#include "OmbrixUI/HotKeyRecorder.h"
#include "OmbrixUI/SymbolView.h"

namespace {

// A settings-like window: the recorder (showing the default Ctrl+Alt+A) above a focused text
// field, with a window shortcut that must stay silent while recording.
struct RecorderWindow {
    QWidget window;
    HotKeyRecorder* recorder = new HotKeyRecorder(0, 0x900);
    QLineEdit* field = new QLineEdit;
    int shortcutHits = 0;
    QSignalSpy* recorded;

    RecorderWindow() {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(recorder);
        layout->addWidget(field);
        layout->addStretch();
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K), &window);
        QObject::connect(shortcut, &QShortcut::activated, [this] { ++shortcutHits; });
        recorded = new QSignalSpy(recorder, &HotKeyRecorder::hotKeyRecorded);
        window.resize(380, 200);
        window.show();
        QApplication::setActiveWindow(&window);
        field->setFocus();
        QApplication::processEvents();
    }
    ~RecorderWindow() { delete recorded; }

    void clickBox() { QTest::mouseClick(recorder, Qt::LeftButton); }
    // Typed where the user types: into the focused field.
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(field, key, modifiers);
    }
};

}  // namespace

TEST(HotKeyRecorder, StoresAKeyPressedWithModifiersAsCarbonCodeAndMask) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::uint32_t code;
        std::uint32_t mask;
        const char* note;
        const char* shown;
    };
    const Case cases[] = {
        {Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, 40, 2304, "Ctrl+Alt+K", "Ctrl+Alt+K"},
        {Qt::Key_K, Qt::MetaModifier, 40, 4096, "Super+K", "Super+K"},
        {Qt::Key_F5, Qt::ControlModifier, 96, 256, "Ctrl+F5", "Ctrl+F5"},
        {Qt::Key_Space, Qt::ShiftModifier | Qt::MetaModifier, 49, 4608, "Shift+Super+Space",
         "Shift+Super+Boşluk"},
        {Qt::Key_Backtab, Qt::ShiftModifier | Qt::AltModifier, 48, 2560, "Alt+Shift+Tab", "Alt+Shift+⇥"},
        {Qt::Key_A,
         Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier | Qt::KeypadModifier, 0,
         0x1B00, "all four; the keypad flag adds nothing", "Ctrl+Alt+Shift+Super+A"},
    };
    for (const Case& c : cases) {
        RecorderWindow w;
        w.clickBox();
        ASSERT_TRUE(w.recorder->isRecording()) << c.note;
        w.type(c.key, c.modifiers);
        ASSERT_EQ(w.recorded->count(), 1) << c.note;
        EXPECT_EQ(w.recorded->at(0).at(0).toUInt(), c.code) << c.note;
        EXPECT_EQ(w.recorded->at(0).at(1).toUInt(), c.mask) << c.note;
        EXPECT_EQ(w.recorder->keyCode(), c.code) << c.note;
        EXPECT_EQ(w.recorder->modifiers(), c.mask) << c.note;
        EXPECT_FALSE(w.recorder->isRecording()) << c.note;
        EXPECT_EQ(w.recorder->textLabel()->text(), QString::fromUtf8(c.shown)) << c.note;
        // Captured: neither the field nor the window's shortcut saw the key.
        EXPECT_EQ(w.field->text(), QString()) << c.note;
        EXPECT_EQ(w.shortcutHits, 0) << c.note;
    }
}

TEST(HotKeyRecorder, RefusesAKeyWithoutModifierAndGoesOnRecording) {
    RecorderWindow w;
    w.clickBox();
    w.type(Qt::Key_K);
    w.type(Qt::Key_F5);
    EXPECT_TRUE(w.recorder->isRecording());
    EXPECT_TRUE(w.recorder->isRejected());
    EXPECT_EQ(w.recorded->count(), 0);
    EXPECT_EQ(w.field->text(), QString());
    ASSERT_NE(w.recorder->rejectionLabel(), nullptr);
    EXPECT_TRUE(w.recorder->rejectionLabel()->isVisible());
    EXPECT_EQ(w.recorder->rejectionLabel()->text(), QStringLiteral("En az bir değiştirici tuş gerekli"));
    EXPECT_EQ(w.recorder->rejectionLabel()->color(), Palette::danger);
    // It hangs below the box: its bottom edge 16 below the box's.
    const QRect box = w.recorder->geometry();
    const QRect message = w.recorder->rejectionLabel()->geometry();
    EXPECT_EQ(message.left(), box.left());
    EXPECT_EQ(message.top() + message.height(), box.top() + box.height() + 16);

    // Modifier keys alone change nothing.
    w.type(Qt::Key_Control, Qt::ControlModifier);
    w.type(Qt::Key_Shift);
    EXPECT_TRUE(w.recorder->isRecording());
    EXPECT_EQ(w.recorded->count(), 0);

    // A following combination is stored; the message stays until recording starts again.
    w.type(Qt::Key_K, Qt::MetaModifier);
    ASSERT_EQ(w.recorded->count(), 1);
    EXPECT_EQ(w.recorder->keyCode(), 40u);
    EXPECT_EQ(w.recorder->modifiers(), 4096u);
    EXPECT_TRUE(w.recorder->rejectionLabel()->isVisible());
    w.clickBox();
    EXPECT_TRUE(w.recorder->isRecording());
    EXPECT_FALSE(w.recorder->isRejected());
    EXPECT_FALSE(w.recorder->rejectionLabel()->isVisible());
}

TEST(HotKeyRecorder, EscapeAClickOrClosingTheWindowEndRecordingWithoutStoring) {
    RecorderWindow w;
    QSignalSpy changes(w.recorder, &HotKeyRecorder::recordingChanged);
    auto* escapeShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), &w.window);
    int escapes = 0;
    QObject::connect(escapeShortcut, &QShortcut::activated, [&] { ++escapes; });

    w.clickBox();
    w.type(Qt::Key_Escape, Qt::ControlModifier);  // Escape cancels even with a modifier
    EXPECT_FALSE(w.recorder->isRecording());
    EXPECT_EQ(escapes, 0);

    w.clickBox();
    w.clickBox();
    EXPECT_FALSE(w.recorder->isRecording());

    w.clickBox();
    w.window.hide();
    EXPECT_FALSE(w.recorder->isRecording());

    EXPECT_EQ(changes.count(), 6);
    EXPECT_EQ(w.recorded->count(), 0);
    EXPECT_EQ(w.recorder->keyCode(), 0u);
    EXPECT_EQ(w.recorder->modifiers(), 0x900u);
    // Keys reach the application again.
    w.window.show();
    QApplication::setActiveWindow(&w.window);
    w.field->setFocus();
    w.type(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(w.shortcutHits, 1);
}

// Tab reaches the recorder and Space or Return starts recording; the key that started it is not
// taken for the combination.
TEST(HotKeyRecorder, SpaceOrReturnStartsRecordingFromTheKeyboard) {
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
        RecorderWindow w;
        w.recorder->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), w.recorder) << key;
        // The starting key held down past the repeat delay: its repeats record nothing.
        QTest::keyPress(w.recorder, key);
        for (int repeat = 0; repeat < 3; ++repeat) {
            QKeyEvent again(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? " " : "\r", true);
            QApplication::sendEvent(w.recorder, &again);
        }
        QTest::keyRelease(w.recorder, key);
        EXPECT_TRUE(w.recorder->isRecording()) << key;
        EXPECT_FALSE(w.recorder->isRejected()) << key;
        QTest::keyClick(w.recorder, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        ASSERT_EQ(w.recorded->count(), 1) << key;
        EXPECT_EQ(w.recorder->keyCode(), 40u) << key;
        EXPECT_FALSE(w.recorder->isRecording()) << key;
    }
}

TEST(HotKeyRecorder, BoxShowsTheCombinationOrThePrompt) {
    RecorderWindow w;
    const auto look = [&] {
        return std::tuple(w.recorder->symbolView()->symbol(), w.recorder->textLabel()->text(),
                          w.recorder->textLabel()->color(), w.recorder->hintLabel()->isVisible());
    };
    EXPECT_EQ(look(),
              std::tuple(QStringLiteral("keyboard"), QStringLiteral("Ctrl+Alt+A"), Palette::text, false));
    EXPECT_GE(w.recorder->height(), 38);
    EXPECT_EQ(w.recorder->width(), w.field->width());

    w.clickBox();
    EXPECT_EQ(look(), std::tuple(QStringLiteral("record.circle.fill"),
                                 QStringLiteral("Tuş kombinasyonuna bas…"), Palette::accent, true));
    EXPECT_EQ(w.recorder->hintLabel()->text(), QStringLiteral("esc ile vazgeç"));
    EXPECT_EQ(w.recorder->hintLabel()->color(), Palette::textMuted);

    // A stored combination set from outside shows without being reported back.
    w.type(Qt::Key_Escape);
    w.recorder->setHotKey(36, 0x300);
    EXPECT_EQ(w.recorder->textLabel()->text(), QStringLiteral("Ctrl+Shift+⏎"));
    EXPECT_EQ(w.recorded->count(), 0);
}

TEST(HotKeyFormatter, ModifierMaskAndDescriptionAsLinuxUsersReadThem) {
    struct MaskCase {
        Qt::KeyboardModifiers modifiers;
        std::uint32_t mask;
    };
    const MaskCase masks[] = {
        {Qt::NoModifier, 0},
        {Qt::ControlModifier, 0x100},
        {Qt::ShiftModifier, 0x200},
        {Qt::AltModifier, 0x800},
        {Qt::MetaModifier, 0x1000},
        {Qt::ControlModifier | Qt::AltModifier, 2304},
        {Qt::KeypadModifier | Qt::GroupSwitchModifier, 0},
    };
    for (const MaskCase& c : masks)
        EXPECT_EQ(HotKeyFormatter::carbonModifiers(c.modifiers), c.mask) << c.mask;

    // Keys are named by a fixed table of key positions, whatever layout is active; codes outside
    // it (Escape among them) by their number.
    struct TextCase {
        std::uint32_t code;
        std::uint32_t mask;
        const char* text;
    };
    const TextCase texts[] = {
        {0, 0x900, "Ctrl+Alt+A"},
        {40, 0x900, "Ctrl+Alt+K"},
        {6, 0x100, "Ctrl+Z"},
        {16, 0x100, "Ctrl+Y"},
        {34, 0x800, "Alt+I"},
        {22, 0x100, "Ctrl+6"},
        {23, 0x100, "Ctrl+5"},
        {29, 0x1000, "Super+0"},
        {49, 0x1100, "Ctrl+Super+Boşluk"},
        {36, 0x300, "Ctrl+Shift+⏎"},
        {48, 0x1B00, "Ctrl+Alt+Shift+Super+⇥"},
        {48, 0x1B00 | 0x1 | 0x400 | 0x10000, "Ctrl+Alt+Shift+Super+⇥"},
        {122, 0x800, "Alt+F1"},
        {96, 0x100, "Ctrl+F5"},
        {111, 0x200, "Shift+F12"},
        {53, 0x100, "Ctrl+#53"},
        {42, 0x100, "Ctrl+#42"},
        {123, 0x100, "Ctrl+#123"},
        {200, 0, "#200"},
    };
    for (const TextCase& c : texts)
        EXPECT_EQ(HotKeyFormatter::describe(c.code, c.mask), QString::fromUtf8(c.text)) << c.text;
}

TEST(HotKeyFormatter, KeyCodeOfAnEventWithoutNativeCodeFollowsTheUnshiftedQtKey) {
    struct Case {
        int key;
        std::optional<std::uint32_t> code;
        const char* note;
    };
    const Case cases[] = {
        {Qt::Key_A, 0, "A"},
        {Qt::Key_K, 40, "K"},
        {Qt::Key_1, 18, "1"},
        {Qt::Key_Backtab, 48, "Shift+Tab"},
        {Qt::Key_Exclam, std::nullopt, "a shifted symbol names no key"},
        {Qt::Key_unknown, std::nullopt, "unknown"},
    };
    for (const Case& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, Qt::ControlModifier);
        EXPECT_EQ(HotKeyFormatter::carbonKeyCode(event), c.code) << c.note;
    }
}
