#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "OmbrixServices/Services/HotKeyService.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSlider.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/HotKeyFormatter.h"
#include "OmbrixUI/HotKeyRecorder.h"
#include "OmbrixUI/SettingsView.h"
#include "OmbrixUI/SymbolView.h"
#include "Support/AppStateFakes.h"
#include "Support/QuietDesktop.h"
#include "Support/TabWalk.h"
#include "Support/WidgetProbe.h"

namespace {

// A desktop where key presses can be synthesised or not, and nothing else happens.
class SwitchableDesktop final : public QuietDesktop {
  public:
    explicit SwitchableDesktop(bool canSynthesize) : can_(canSynthesize) {}
    bool canSynthesize() override { return can_; }

  private:
    bool can_;
};

// Key grabs of a desktop where other programs hold some combinations, in every state of the lock
// keys or only in some.
struct HeldKeys {
    std::map<std::pair<std::uint32_t, std::uint32_t>, QStringList> byOthers;  // empty list: always
};

class HeldKeysBackend final : public HotKeyService::Backend {
  public:
    explicit HeldKeysBackend(HeldKeys& held) : held_(held) {}
    HotKeyService::Grant grab(std::uint32_t keyCode, std::uint32_t modifiers, std::uint32_t,
                              std::function<void(std::uint32_t)>) override {
        HotKeyService::Grant grant(true);
        const auto found = held_.byOthers.find({keyCode, modifiers});
        if (found == held_.byOthers.end()) return grant;
        if (found->second.isEmpty()) {
            grant.granted = false;
            grant.takenByOther = true;
        } else {
            grant.lockStatesTaken = found->second;
        }
        return grant;
    }
    void ungrab() override {}
    QString keyText(std::uint32_t) const override { return {}; }

  private:
    HeldKeys& held_;
};

class SettingsFixture : public ::testing::Test {
  protected:
    SettingsFixture()
        : view(h.preferences, [this] {
              ++probes;
              return available;
          }) {
        view.present();
        QApplication::processEvents();
    }

    std::vector<int> tintedPresets() const {
        std::vector<int> tinted;
        for (int i = 0; i < view.timeoutPresetButtons().size(); ++i)
            if (view.timeoutPresetButtons()[i]->variant() == ButtonVariant::tinted(Palette::warn))
                tinted.push_back(SettingsView::timeoutPresets[i]);
        return tinted;
    }

    fakes::Harness h;
    bool available = true;
    int probes = 0;
    SettingsView view;
};

}  // namespace

TEST_F(SettingsFixture, TimeoutSliderAndPresetsWriteThePreferences) {
    AppSlider* slider = view.timeoutSlider();
    struct Step {
        std::function<void()> act;
        double stored;
        const char* label;
        int slider;
        std::vector<int> tinted;
    };
    const Step steps[] = {
        {[] {}, 12, "12 sn", 12, {12}},
        {[&] { view.timeoutPresetButtons()[3]->click(); }, 60, "60 sn", 60, {60}},
        {[&] { QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(0, 11)); }, 5, "5 sn", 5, {}},
        {[&] { QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() - 1, 11)); },
         120,
         "120 sn",
         120,
         {}},
        {[&] { slider->setValue(30); }, 30, "30 sn", 30, {30}},
        // Set elsewhere: the fraction is dropped for showing, the value is not rewritten.
        {[&] { h.preferences.setClipboardTimeout(10.75); }, 10.75, "10 sn", 10, {10}},
        {[&] { h.preferences.setClipboardTimeout(900); }, 900, "900 sn", 120, {}},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(h.preferences.clipboardTimeout(), step.stored) << step.label;
        EXPECT_EQ(h.store->values().value("clipboardTimeout", 12.0).toDouble(), step.stored) << step.label;
        EXPECT_EQ(view.timeoutLabel()->text(), QString::fromUtf8(step.label));
        EXPECT_EQ(slider->value(), step.slider) << step.label;
        EXPECT_EQ(tintedPresets(), step.tinted) << step.label;
    }
}

TEST_F(SettingsFixture, SequenceFieldWritesThroughAndGoesBackToTheDefault) {
    QLineEdit* field = view.sequenceField()->lineEdit();
    EXPECT_EQ(field->text(), "{USERNAME}{TAB}{PASSWORD}{ENTER}");
    EXPECT_EQ(field->placeholderText(), "{USERNAME}{TAB}{PASSWORD}{ENTER}");

    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(h.preferences.defaultAutoTypeSequence(), QString());
    EXPECT_EQ(h.store->values().value("defaultAutoTypeSequence"), QVariant(QString()));
    QTest::keyClicks(field, "{PASSWORD}{ENTER}");
    EXPECT_EQ(h.preferences.defaultAutoTypeSequence(), "{PASSWORD}{ENTER}");

    view.resetSequenceButton()->click();
    EXPECT_EQ(h.preferences.defaultAutoTypeSequence(), "{USERNAME}{TAB}{PASSWORD}{ENTER}");
    EXPECT_EQ(field->text(), "{USERNAME}{TAB}{PASSWORD}{ENTER}");
    h.preferences.setDefaultAutoTypeSequence("{S:PIN}");
    EXPECT_EQ(field->text(), "{S:PIN}");
}

TEST_F(SettingsFixture, RecordedHotKeyIsWrittenAsOnePair) {
    std::vector<std::pair<quint32, quint32>> announced;
    QObject context;
    QObject::connect(&h.preferences, &Preferences::hotKeyChanged, &context, [&] {
        announced.emplace_back(h.preferences.hotKeyCode(), h.preferences.hotKeyModifiers());
    });
    HotKeyRecorder* recorder = view.hotKeyRecorder();
    EXPECT_EQ(recorder->textLabel()->text(), "Ctrl+Alt+A");

    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(view.sequenceField()->lineEdit(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(h.preferences.hotKeyCode(), 40u);
    EXPECT_EQ(h.preferences.hotKeyModifiers(), 2304u);
    EXPECT_EQ(h.store->values().value("hotKeyCode"), QVariant(qlonglong{40}));
    EXPECT_EQ(h.store->values().value("hotKeyModifiers"), QVariant(qlonglong{2304}));
    EXPECT_EQ(announced, (std::vector<std::pair<quint32, quint32>>{{40, 2304}}));
    EXPECT_EQ(recorder->textLabel()->text(), "Ctrl+Alt+K");
    EXPECT_EQ(view.sequenceField()->lineEdit()->text(), "{USERNAME}{TAB}{PASSWORD}{ENTER}");

    // Another key and modifiers at once: still one announcement of the whole pair.
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(view.sequenceField()->lineEdit(), Qt::Key_F5, Qt::MetaModifier);
    EXPECT_EQ(announced.back(), (std::pair<quint32, quint32>{96, 4096}));
    EXPECT_EQ(announced.size(), 2u);

    // The default is written even when it is already stored, and shown as Linux users read it.
    EXPECT_EQ(view.resetHotKeyButton()->text(), "Varsayılana dön  (Ctrl+Alt+A)");
    view.resetHotKeyButton()->click();
    EXPECT_EQ(announced.back(), (std::pair<quint32, quint32>{0, 2304}));
    EXPECT_EQ(recorder->textLabel()->text(), "Ctrl+Alt+A");
    h.store->remove("hotKeyCode");
    view.resetHotKeyButton()->click();
    EXPECT_EQ(h.store->values().value("hotKeyCode"), QVariant(qlonglong{0}));
    EXPECT_EQ(announced.size(), 3u);

    // A change made elsewhere shows at once.
    h.preferences.setHotKey(49, 0x300);
    EXPECT_EQ(recorder->textLabel()->text(), "Ctrl+Shift+Boşluk");
}

// The hot key another program holds does nothing: the card says so, at once when it is recorded,
// and stops saying so once the key is Ombrix's again.
TEST_F(SettingsFixture, TheHotKeyCardSaysWhenAnotherProgramHoldsTheKey) {
    HeldKeys held;
    held.byOthers[{40, 2304}] = {};                                      // Ctrl+Alt+K, always
    held.byOthers[{1, 2304}] = {QStringLiteral("Num Lock"), QString()};  // Ctrl+Alt+S, in two states
    held.byOthers[{2, 2304}] = {QStringLiteral("Num Lock")};             // Ctrl+Alt+D, with Num Lock on
    HotKeyService hotKeys(std::make_unique<HeldKeysBackend>(held));
    // What the application does with a recorded combination.
    QObject::connect(&h.preferences, &Preferences::hotKeyChanged, &hotKeys, [&] {
        hotKeys.registerHotKey(h.preferences.hotKeyCode(), h.preferences.hotKeyModifiers(), [] {});
    });
    hotKeys.registerHotKey(h.preferences.hotKeyCode(), h.preferences.hotKeyModifiers(), [] {});
    view.followHotKey(hotKeys);
    HotKeyRecorder* recorder = view.hotKeyRecorder();
    QLabel* status = view.hotKeyStatusLabel();
    EXPECT_TRUE(status->isHidden()) << "Ctrl+Alt+A is Ombrix's";
    EXPECT_TRUE(recorder->conflictText().isEmpty());

    struct Step {
        const char* note;
        Qt::Key key;
        const char* box;
        const char* conflict;  // beside the combination in the box
        const char* status;    // empty: none shown
    };
    const Step steps[] = {
        {"held by another program", Qt::Key_K, "Ctrl+Alt+K", "Başka bir program kullanıyor",
         "Bu kısayolu başka bir program kullanıyor, bu yüzden Ombrix'in kısayolu çalışmıyor. Başka bir "
         "kısayol kaydet ya da o programı kapat; Ombrix bu pencereye ya da ana pencereye dönüldüğünde "
         "kısayolu yeniden almayı dener."},
        {"held by another program with every lock key off, and with Num Lock on", Qt::Key_S, "Ctrl+Alt+S",
         "Başka bir program kullanıyor",
         "Bu kısayolu Num Lock açıkken ya da kilit tuşları kapalıyken başka bir program kullanıyor; o "
         "durumda Ombrix'in kısayolu çalışmaz."},
        {"held by another program with Num Lock on only", Qt::Key_D, "Ctrl+Alt+D",
         "Bazen başka bir programda",
         "Bu kısayolu Num Lock açıkken başka bir program kullanıyor; o durumda Ombrix'in kısayolu çalışmaz."},
        {"free", Qt::Key_J, "Ctrl+Alt+J", "", ""},
    };
    for (const Step& step : steps) {
        QTest::mouseClick(recorder, Qt::LeftButton);
        QTest::keyClick(view.sequenceField()->lineEdit(), step.key, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_EQ(recorder->textLabel()->text(), QString::fromUtf8(step.box)) << step.note;
        EXPECT_EQ(recorder->conflictText(), QString::fromUtf8(step.conflict)) << step.note;
        EXPECT_EQ(status->isHidden(), *step.status == '\0') << step.note;
        if (*step.status) {
            EXPECT_EQ(status->text(), QString::fromUtf8(step.status)) << step.note;
        }
        // The window fits what it says: nothing scrolls, the last button shows whole.
        for (int turn = 0; turn < 8; ++turn) QApplication::processEvents();
        EXPECT_FALSE(view.findChild<QScrollArea*>()->verticalScrollBar()->isVisible()) << step.note;
        EXPECT_TRUE(tabwalk::whollyShown(view.resetHotKeyButton())) << step.note;
    }

    // Back to Ctrl+Alt+K, which the other program has let go of meanwhile; the next try takes it.
    h.preferences.setHotKey(40, 2304);
    EXPECT_FALSE(status->isHidden());
    held.byOthers.clear();
    hotKeys.registerAgainIfRefused();
    EXPECT_TRUE(status->isHidden());
    EXPECT_TRUE(recorder->conflictText().isEmpty());
}

TEST_F(SettingsFixture, AvailabilityRowSaysWhetherAutoTypeCanWork) {
    struct Case {
        bool available;
        const char* symbol;
        QColor color;
        const char* title;
        const char* detail;
    };
    const Case cases[] = {
        {true, "checkmark.shield.fill", Palette::success, "Otomatik yazma kullanılabilir",
         "Tuş vuruşları X11 oturumu üzerinden gönderilir."},
        {false, "exclamationmark.shield.fill", Palette::warn, "Otomatik yazma kullanılamıyor",
         "Tuş vuruşları yalnızca XTEST eklentisi olan bir X11 oturumunda gönderilebilir; Wayland oturumunda "
         "otomatik yazma çalışmaz."},
    };
    for (const Case& c : cases) {
        available = c.available;
        view.refreshAvailability();
        EXPECT_EQ(view.isAutoTypeAvailable(), c.available);
        EXPECT_EQ(view.availabilitySymbol()->symbol(), c.symbol) << c.title;
        EXPECT_EQ(view.availabilitySymbol()->color(), c.color) << c.title;
        EXPECT_EQ(view.availabilityTitle()->text(), QString::fromUtf8(c.title));
        EXPECT_EQ(view.availabilityDetail()->text(), QString::fromUtf8(c.detail)) << c.title;
        // Nothing can be granted on this platform, so there is no button to ask.
        for (QPushButton* button : view.findChildren<QPushButton*>())
            EXPECT_FALSE(button->text().startsWith(QStringLiteral("İzin"))) << c.title;
    }

    // Asked when the window shows and again while it shows; never while it is closed.
    view.close();
    const int whileClosed = probes;
    available = true;
    QTest::qWait(50);
    EXPECT_EQ(probes, whileClosed);
    view.present();
    EXPECT_TRUE(view.isAutoTypeAvailable());
    available = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view.isAutoTypeAvailable(); }, 5000));
}

TEST_F(SettingsFixture, AvailabilityComesFromTheAutoTypeService) {
    for (const bool can : {true, false}) {
        AutoTypeService service(std::make_unique<SwitchableDesktop>(can));
        SettingsView window(h.preferences, service);
        window.present();
        EXPECT_EQ(window.isAutoTypeAvailable(), can);
    }
}

TEST(SettingsWindow, OpeningTwiceBringsTheSameWindowToTheFront) {
    // Shared for the rest of the process, like the window.
    static auto* store = new MemoryPreferencesStore;
    static auto* preferences = new Preferences(std::unique_ptr<PreferencesStore>(store));
    static auto* autoType = new AutoTypeService(std::make_unique<SwitchableDesktop>(true));

    SettingsView& first = SettingsView::presentShared(*preferences, *autoType);
    QApplication::processEvents();
    EXPECT_TRUE(first.isVisible());
    EXPECT_TRUE(first.isWindow());
    EXPECT_EQ(first.width(), 520);
    EXPECT_GE(first.height(), 620);

    QWidget mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &mainWindow);
    SettingsView& second = SettingsView::presentShared(*preferences, *autoType);
    QApplication::processEvents();
    EXPECT_EQ(&second, &first);
    EXPECT_EQ(QApplication::activeWindow(), &first);

    // Closing only hides it; the next opening shows the same window again.
    first.close();
    EXPECT_FALSE(first.isVisible());
    SettingsView& third = SettingsView::presentShared(*preferences, *autoType);
    EXPECT_EQ(&third, &first);
    EXPECT_TRUE(third.isVisible());
    third.close();
}

TEST_F(SettingsFixture, TheRecordersRefusalLeavesTheHelpTextBelowItReadable) {
    HotKeyRecorder* recorder = view.hotKeyRecorder();
    QLabel* help = nullptr;
    for (QLabel* label : view.findChildren<QLabel*>()) {
        if (label->text().startsWith(QStringLiteral("Herhangi bir uygulamadayken"))) help = label;
    }
    ASSERT_NE(help, nullptr);
    QApplication::setActiveWindow(&view);
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K);
    ASSERT_TRUE(recorder->rejectionLabel()->isVisible());
    const QWidget* refusal = recorder->rejectionLabel();
    const QRect refusalArea(refusal->mapTo(&view, QPoint(0, 0)), refusal->size());
    const QRect helpArea(help->mapTo(&view, QPoint(0, 0)), help->size());
    EXPECT_LT(refusalArea.bottom(), helpArea.top()) << "the refusal ends above the help text";
}

// Escape closes the window, from wherever the keyboard is in it; while a hot key is being
// recorded it only ends the recording.
TEST_F(SettingsFixture, EscapeClosesTheWindow) {
    QApplication::setActiveWindow(&view);
    QTest::mouseClick(view.hotKeyRecorder(), Qt::LeftButton);
    ASSERT_TRUE(view.hotKeyRecorder()->isRecording());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(view.hotKeyRecorder()->isRecording());
    EXPECT_TRUE(view.isVisible()) << "Escape ended the recording only";

    for (QWidget* target : {static_cast<QWidget*>(view.sequenceField()->lineEdit()),
                            static_cast<QWidget*>(view.timeoutSlider())}) {
        view.present();
        QApplication::setActiveWindow(&view);
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_FALSE(view.isVisible()) << target->metaObject()->className();
    }
}

// At its default size every card shows whole, without a scroll bar; made smaller, the column
// scrolls with the slim bar of the rest of the interface.
TEST_F(SettingsFixture, TheDefaultSizeShowsEverythingAndASmallerWindowScrollsWithTheSlimBar) {
    QScrollArea* area = view.findChild<QScrollArea*>();
    ASSERT_NE(area, nullptr);
    QScrollBar* bar = area->verticalScrollBar();
    EXPECT_EQ(view.width(), 520);
    EXPECT_FALSE(bar->isVisible()) << "nothing to scroll at " << view.width() << "x" << view.height();
    EXPECT_EQ(bar->maximum(), 0);

    view.resize(view.minimumSize());
    ASSERT_TRUE(QTest::qWaitFor([bar] { return bar->isVisible(); }, 2000));
    EXPECT_LE(bar->width(), 10);
    const QImage shot = view.grab().toImage();
    const QRect barArea(bar->mapTo(&view, QPoint(0, 0)), bar->size());
    for (int y : {barArea.top(), barArea.bottom()})
        for (int x = barArea.left(); x <= barArea.right(); ++x)
            EXPECT_TRUE(probe::colorNear(probe::pixel(shot, x, y), Palette::surface)) << x << "," << y;
}
