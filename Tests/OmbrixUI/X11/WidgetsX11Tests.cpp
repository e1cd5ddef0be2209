#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "OmbrixServices/Platform/X11Connection.h"
#include "OmbrixServices/Platform/X11HotKeyBackend.h"
#include "OmbrixServices/Platform/X11Keyboard.h"
#include "OmbrixServices/Services/HotKeyService.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixState/PreferencesStore.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/HotKeyRecorder.h"
#include "OmbrixUI/IconPicker.h"
#include "OmbrixUI/SettingsView.h"
#include "Support/Fixtures.h"
#include "Support/X11/X11TestClient.h"

namespace {

// Key codes of Xvfb's keymap; the xfree86 and evdev key codes agree on the main block.
constexpr quint32 x11KeyAE01 = 10;  // the key of 1 and ! on a US keyboard
constexpr quint32 x11KeyAD06 = 29;  // Y on a US keyboard, Z on a German one

struct Host {
    QWidget window;
    explicit Host(QWidget* content) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(content);
        layout->addStretch();
        window.resize(380, 240);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        QApplication::processEvents();
    }
};

}  // namespace

TEST(HotKeyRecorderOnX11, TakesThePhysicalKeyFromTheNativeKeyCode) {
    struct Case {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        quint32 nativeKeyCode;
        std::uint32_t code;
        std::uint32_t mask;
        const char* note;
    };
    const Case cases[] = {
        {Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier, x11KeyAE01, 18, 0x300,
         "Shift turns 1 into !; the key is still the 1 key"},
        {Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier, x11KeyAD06, 16, 2304,
         "a layout that types Z there: the key at Y's place is grabbed"},
        {Qt::Key_K, Qt::ControlModifier, 0, 40, 256, "no native code: the Qt key"},
    };
    for (const Case& c : cases) {
        auto* recorder = new HotKeyRecorder(0, 0x900);
        Host host(recorder);
        QSignalSpy recorded(recorder, &HotKeyRecorder::hotKeyRecorded);
        QTest::mouseClick(recorder, Qt::LeftButton);
        ASSERT_TRUE(recorder->isRecording()) << c.note;
        QKeyEvent press(QEvent::KeyPress, c.qtKey, c.modifiers, c.nativeKeyCode, 0, 0);
        QApplication::sendEvent(&host.window, &press);
        ASSERT_EQ(recorded.count(), 1) << c.note;
        EXPECT_EQ(recorded.at(0).at(0).toUInt(), c.code) << c.note;
        EXPECT_EQ(recorded.at(0).at(1).toUInt(), c.mask) << c.note;
    }
}

TEST(HotKeyRecorderOnX11, ShowsTheDefaultAsCtrlAltA) {
    auto* recorder = new HotKeyRecorder(0, 0x900);
    Host host(recorder);
    EXPECT_EQ(recorder->textLabel()->text(), QStringLiteral("Ctrl+Alt+A"));
}

// Another program on the desktop holds Ctrl+Alt+A, the default hot key, in some states of the
// lock keys or in all: the settings window says what the user needs to know, until that program
// lets go. Holding it with every lock off is holding it as most users press it.
TEST(HotKeyCardOnX11, SaysWhileAnotherProgramHoldsTheHotKey) {
    X11TestClient other;
    ASSERT_TRUE(other.isConnected());
    ASSERT_NE(X11Connection::shared(), nullptr);
    X11Keyboard* keyboard = X11Connection::shared()->keyboard();
    ASSERT_NE(keyboard, nullptr);
    const std::optional<xcb_keycode_t> keyA = other.keycodeFor('a');
    ASSERT_TRUE(keyA);
    const std::uint16_t numLock = keyboard->modifierMask(X11Keyboard::Modifier::NumLock);
    const auto ctrlAlt = [](int locks) {
        return static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | locks);
    };
    const std::vector<std::uint16_t> everyState = {ctrlAlt(0), ctrlAlt(XCB_MOD_MASK_LOCK), ctrlAlt(numLock),
                                                   ctrlAlt(XCB_MOD_MASK_LOCK | numLock)};
    const QString takenWord = QStringLiteral("Başka bir program kullanıyor");
    const QString partlyWord = QStringLiteral("Bazen başka bir programda");
    struct Case {
        const char* note;
        std::vector<std::uint16_t> held;  // the states in which the other program holds it
        std::uint8_t lockedByRequest;     // real modifiers locked as a Shift Lock key locks Shift
        QString conflict;                 // beside the combination in the box; empty: none
        QString status;                   // the line under the box; empty: none
    };
    const Case cases[] = {
        {"held in every state of the lock keys", everyState, 0, takenWord,
         QStringLiteral("Bu kısayolu başka bir program kullanıyor, bu yüzden Ombrix'in kısayolu çalışmıyor. "
                        "Başka bir kısayol kaydet ya da o programı kapat; Ombrix bu pencereye ya da ana "
                        "pencereye dönüldüğünde kısayolu yeniden almayı dener.")},
        {"held with every lock off only",
         {ctrlAlt(0)},
         0,
         takenWord,
         QStringLiteral("Bu kısayolu kilit tuşları kapalıyken başka bir program kullanıyor; o durumda "
                        "Ombrix'in kısayolu çalışmaz.")},
        {"held in every state but with Num Lock on",
         {ctrlAlt(0), ctrlAlt(XCB_MOD_MASK_LOCK), ctrlAlt(XCB_MOD_MASK_LOCK | numLock)},
         0,
         takenWord,
         QStringLiteral("Bu kısayolu kilit tuşları kapalıyken, Caps Lock açıkken ya da Caps Lock ve Num "
                        "Lock açıkken başka bir program kullanıyor; o durumda Ombrix'in kısayolu "
                        "çalışmaz.")},
        {"held with Num Lock on only",
         {ctrlAlt(numLock)},
         0,
         partlyWord,
         QStringLiteral("Bu kısayolu Num Lock açıkken başka bir program kullanıyor; o durumda Ombrix'in "
                        "kısayolu çalışmaz.")},
        {"held with Shift, while Shift Lock is on",
         {ctrlAlt(XCB_MOD_MASK_SHIFT)},
         XCB_MOD_MASK_SHIFT,
         partlyWord,
         QStringLiteral("Bu kısayolu Shift Lock açıkken başka bir program kullanıyor; o durumda Ombrix'in "
                        "kısayolu çalışmaz.")},
        {"let go of", {}, 0, QString(), QString()},
    };

    Preferences preferences(std::make_unique<MemoryPreferencesStore>());
    HotKeyService hotKeys(createX11HotKeyBackend());
    SettingsView settings(preferences, [] { return true; });
    settings.followHotKey(hotKeys);
    settings.present();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&settings));
    EXPECT_EQ(settings.hotKeyRecorder()->textLabel()->text(), QStringLiteral("Ctrl+Alt+A"));
    ElidedLabel* word = settings.hotKeyRecorder()->hintLabel();
    QLabel* status = settings.hotKeyStatusLabel();
    for (const Case& c : cases) {
        for (const std::uint16_t modifiers : c.held) ASSERT_FALSE(other.grabKey(*keyA, modifiers)) << c.note;
        if (c.lockedByRequest) {
            other.lockModifiers(c.lockedByRequest, c.lockedByRequest);
            ASSERT_TRUE(spinUntil([&] { return (keyboard->lockedModifiers() & c.lockedByRequest) != 0; }))
                << c.note;
        }
        // The program registers the key as the user starts it.
        hotKeys.registerHotKey(preferences.hotKeyCode(), preferences.hotKeyModifiers(), [] {});
        QApplication::processEvents();

        EXPECT_EQ(word->isVisible(), !c.conflict.isEmpty()) << c.note;
        if (!c.conflict.isEmpty()) {
            EXPECT_EQ(word->text().toStdString(), c.conflict.toStdString()) << c.note;
        }
        EXPECT_EQ(status->isVisible(), !c.status.isEmpty()) << c.note;
        if (!c.status.isEmpty()) {
            EXPECT_EQ(status->text().toStdString(), c.status.toStdString()) << c.note;
        }
        if (c.held == everyState) {
            // For a person to look at.
            EXPECT_TRUE(settings.grab().save(
                QString::fromStdString((testsupport::outputDir() / "settings-hot-key-taken.png").string())));
        }

        if (c.lockedByRequest) {
            other.lockModifiers(c.lockedByRequest, 0);
            ASSERT_TRUE(spinUntil([&] { return (keyboard->lockedModifiers() & c.lockedByRequest) == 0; }))
                << c.note;
        }
        for (const std::uint16_t modifiers : c.held) other.ungrabKey(*keyA, modifiers);
        hotKeys.unregister();
    }
}

TEST(IconPickerOnX11, ThePickerButtonClosesTheOpenGridForGood) {
    auto* picker = new IconPicker(13);
    Host host(picker);
    QWidget* button = picker->pickerButton();
    const QPoint onButton = button->mapTo(&host.window, button->rect().center());
    QTest::mouseClick(host.window.windowHandle(), Qt::LeftButton, {}, onButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return picker->popup()->isVisible(); }, 2000));
    QTest::mouseClick(host.window.windowHandle(), Qt::LeftButton, {}, onButton);
    QTest::qWait(100);
    EXPECT_FALSE(picker->isExpanded());
    EXPECT_FALSE(picker->popup()->isVisible());
    EXPECT_EQ(picker->iconID(), 13);
}

// The recorder's gallery is made here, where keys arrive as X11 delivers them: one PNG per state
// in <test output>/gallery/ and one sheet.
TEST(GalleryOnX11, HotKeyRecorder) {
    const QString dir = QString::fromStdString((testsupport::outputDir() / "gallery").string());
    QDir().mkpath(dir);
    struct State {
        const char* name;
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;  // typed after a click on the box
    };
    const State states[] = {
        {"hotkey-idle-default", 0, 0x900, {}},
        {"hotkey-recording", 0, 0x900, {{Qt::Key_unknown, {}}}},
        {"hotkey-rejected", 0, 0x900, {{Qt::Key_K, Qt::NoModifier}}},
        {"hotkey-recorded-after-rejection",
         0,
         0x900,
         {{Qt::Key_K, Qt::NoModifier}, {Qt::Key_K, Qt::ControlModifier | Qt::AltModifier}}},
        {"hotkey-idle-all-modifiers", 49, 0x1B00, {}},
    };
    std::vector<std::pair<QString, QImage>> shots;
    for (const State& state : states) {
        // As in the settings card: the recorder above the help text that its message may cover.
        QWidget host;
        host.setAutoFillBackground(true);
        QPalette pal = host.palette();
        pal.setColor(QPalette::Window, Palette::elevated);
        pal.setColor(QPalette::WindowText, Palette::textMuted);
        host.setPalette(pal);
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(24, 20, 24, 28);
        layout->setSpacing(10);
        auto* recorder = new HotKeyRecorder(state.keyCode, state.modifiers);
        layout->addWidget(recorder);
        auto* help =
            new QLabel(QStringLiteral("Herhangi bir uygulamadayken bu kısayola bas; ön plandaki "
                                      "pencerenin başlığıyla eşleşen kayıt otomatik yazılır."));
        help->setWordWrap(true);
        help->setFont(BrandFont::body(11, QFont::Normal));
        layout->addWidget(help);
        host.resize(380, host.heightForWidth(380));
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        QApplication::setActiveWindow(&host);
        if (!state.keys.empty()) QTest::mouseClick(recorder, Qt::LeftButton);
        for (const auto& [key, modifiers] : state.keys) {
            if (key != Qt::Key_unknown) QTest::keyClick(&host, key, modifiers);
        }
        QApplication::processEvents();
        const QImage image = host.grab().toImage();
        image.save(dir + "/" + state.name + ".png");
        shots.emplace_back(QString::fromLatin1(state.name), image);
    }
    int width = 0, height = 0;
    for (const auto& [name, image] : shots) {
        width = qMax(width, image.width());
        height += image.height() + 18;
    }
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(Palette::surface);
    QPainter p(&sheet);
    p.setFont(BrandFont::label());
    p.setPen(Palette::textMuted);
    int y = 0;
    for (const auto& [name, image] : shots) {
        p.drawText(QRect(8, y, width - 16, 18), Qt::AlignVCenter | Qt::AlignLeft, name);
        p.drawImage(0, y + 18, image);
        y += image.height() + 18;
    }
    p.end();
    sheet.save(dir + "/sheet-hotkey.png");
    EXPECT_TRUE(QFile::exists(dir + "/hotkey-rejected.png"));
}
