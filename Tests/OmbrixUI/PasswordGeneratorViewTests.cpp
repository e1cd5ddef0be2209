#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include "GeneratorSheetFixture.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSlider.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/CopyButton.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/SelectableText.h"
#include "OmbrixUI/StrengthMeter.h"

using generatortest::GeneratorFixture;
using Options = PasswordGenerator::Options;

namespace {

using fakes::generatorOptions;

bool onlyFrom(const QString& text, std::u16string_view allowed) {
    return std::all_of(text.begin(), text.end(),
                       [&](QChar c) { return allowed.find(c.unicode()) != std::u16string_view::npos; });
}

QVariant stored(fakes::Harness& h) {
    return h.store->values().value("generatorOptions");
}

}  // namespace

TEST_F(GeneratorFixture, OpeningShowsANewPasswordForTheStoredOptionsInClear) {
    h.preferences.setGeneratorOptions(generatorOptions(32, false, true, true, false, false));
    PasswordGeneratorView& v = open();

    EXPECT_EQ(v.options(), generatorOptions(32, false, true, true, false, false));
    ASSERT_EQ(v.generated().size(), 32);
    EXPECT_TRUE(onlyFrom(v.generated(), u"abcdefghijklmnopqrstuvwxyz0123456789"));
    EXPECT_TRUE(v.isRevealed());
    EXPECT_EQ(v.previewText()->text(), v.generated());
    EXPECT_EQ(v.strengthMeter()->length(), 32);
    EXPECT_EQ(v.lengthLabel()->text(), "32");
    EXPECT_EQ(v.lengthSlider()->value(), 32);
    for (int i = 0; i < v.presetButtons().size(); ++i) {
        const bool current = PasswordGeneratorView::presets[i] == 32;
        EXPECT_EQ(v.presetButtons()[i]->variant(),
                  current ? ButtonVariant::tinted(Palette::accent) : ButtonVariant::ghost)
            << PasswordGeneratorView::presets[i];
    }
    EXPECT_EQ(v.confirmButton()->text(), "Panoya kopyala");
    EXPECT_TRUE(v.confirmButton()->isEnabled());
    EXPECT_FALSE(v.classHint()->isVisible());

    // Hidden: as many bullets as characters; copying still copies the real text, as a secret.
    QTest::mouseClick(v.revealButton(), Qt::LeftButton);
    EXPECT_FALSE(v.isRevealed());
    EXPECT_EQ(v.previewText()->text(), QString(32, QChar(0x2022)));
    v.copyButton()->click();
    EXPECT_EQ(lastCopy(), std::pair(v.generated(), true));

    // The next showing starts revealed again, with a new password.
    const QString first = v.generated();
    v.done(QDialog::Rejected);
    v.open();
    QApplication::processEvents();
    EXPECT_TRUE(v.isRevealed());
    EXPECT_NE(v.generated(), first);
}

// With nothing stored the sheet opens on 20 characters of the four classes, look-alikes allowed.
TEST_F(GeneratorFixture, WithNothingStoredItOpensOnTwentyCharactersOfEveryClass) {
    PasswordGeneratorView& v = open();
    EXPECT_EQ(v.lengthLabel()->text(), "20");
    EXPECT_EQ(v.lengthSlider()->value(), 20);
    EXPECT_EQ(v.generated().size(), 20);
    for (std::size_t i = 0; i < v.classSwitches().size(); ++i)
        EXPECT_TRUE(v.classSwitches()[i]->isChecked()) << "class " << i;
    EXPECT_FALSE(v.ambiguousSwitch()->isChecked());
}

TEST_F(GeneratorFixture, LengthPresetsAndSliderStoreTheOptionsAndGenerateAnew) {
    PasswordGeneratorView& v = open();
    fakes::SignalCounter changes(&h.preferences, &Preferences::generatorOptionsChanged);
    struct Step {
        std::function<void()> act;
        std::int64_t length;
        bool changes;
        const char* note;
    };
    AppSlider* slider = v.lengthSlider();
    const Step steps[] = {
        {[&] { v.presetButtons()[1]->click(); }, 16, true, "preset 16"},
        {[&] { slider->setValue(100); }, 100, true, "slider to 100"},
        {[&] { QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() - 1, 11)); }, 128, true,
         "slider's right end"},
        {[&] { QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(0, 11)); }, 6, true, "slider's left end"},
        {[&] { v.presetButtons()[4]->click(); }, 64, true, "preset 64"},
        {[&] { v.presetButtons()[4]->click(); }, 64, false, "the current preset again"},
        {[&] { QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(qRound(slider->knobCentre(64)), 11)); },
         64, false, "the slider at the current length"},
    };
    for (const Step& step : steps) {
        const QString before = v.generated();
        const int changesBefore = changes.count();
        step.act();
        EXPECT_EQ(v.options().length, step.length) << step.note;
        EXPECT_EQ(h.preferences.generatorOptions().length, step.length) << step.note;
        EXPECT_EQ(stored(h).toMap().value("length").toLongLong(), step.length) << step.note;
        EXPECT_EQ(changes.count() - changesBefore, step.changes ? 1 : 0) << step.note;
        EXPECT_EQ(v.generated() != before, step.changes) << step.note;
        EXPECT_EQ(v.generated().size(), step.length) << step.note;
        EXPECT_EQ(v.lengthLabel()->text(), QString::number(step.length)) << step.note;
    }
}

TEST_F(GeneratorFixture, SwitchesPersistAndAtLeastOneClassIsNeeded) {
    PasswordGeneratorView& v = open();
    struct Case {
        AppSwitch* toggle;
        Options expected;
        const char* note;
    };
    const auto& classes = v.classSwitches();
    const Case cases[] = {
        {v.ambiguousSwitch(), generatorOptions(20, true, true, true, true, true), "look-alikes out"},
        {classes[0], generatorOptions(20, false, true, true, true, true), "upper off"},
        {classes[3], generatorOptions(20, false, true, true, false, true), "symbols off"},
        {classes[2], generatorOptions(20, false, true, false, false, true), "digits off"},
    };
    for (const Case& c : cases) {
        const QString before = v.generated();
        QTest::mouseClick(c.toggle, Qt::LeftButton);
        EXPECT_EQ(v.options(), c.expected) << c.note;
        EXPECT_EQ(h.preferences.generatorOptions(), c.expected) << c.note;
        EXPECT_EQ(stored(h), QVariant(Preferences::encode(c.expected))) << c.note;
        EXPECT_NE(v.generated(), before) << c.note;
    }
    EXPECT_TRUE(onlyFrom(v.generated(), u"abcdefghijkmnpqrstuvwxyz"));  // lower without o and l

    // The last class off: the hint, an empty preview, no confirming; copying stays possible.
    QTest::mouseClick(classes[1], Qt::LeftButton);
    EXPECT_FALSE(v.anySetEnabled());
    EXPECT_TRUE(v.classHint()->isVisible());
    EXPECT_EQ(v.classHint()->text(), "En az bir karakter kümesi seçmelisin.");
    EXPECT_EQ(v.generated(), QString());
    EXPECT_EQ(v.previewText()->text(), QString());
    EXPECT_EQ(v.strengthMeter()->length(), 0);
    EXPECT_FALSE(v.confirmButton()->isEnabled());
    EXPECT_TRUE(v.copyButton()->isEnabled());
    press(Qt::Key_Return);
    EXPECT_TRUE(v.isVisible());
    EXPECT_TRUE(clipboardWrites->empty());

    // The look-alike switch is no class; any real one generates at once.
    QTest::mouseClick(v.ambiguousSwitch(), Qt::LeftButton);
    EXPECT_TRUE(v.classHint()->isVisible());
    EXPECT_EQ(v.generated(), QString());
    QTest::mouseClick(classes[2], Qt::LeftButton);
    EXPECT_FALSE(v.classHint()->isVisible());
    EXPECT_EQ(v.generated().size(), 20);
    EXPECT_TRUE(onlyFrom(v.generated(), u"0123456789"));
}

TEST_F(GeneratorFixture, CtrlRGeneratesAgainOnlyInTheSheetAndStoresNothing) {
    PasswordGeneratorView& v = open();
    fakes::SignalCounter changes(&h.preferences, &Preferences::generatorOptionsChanged);
    const QVariant storedBefore = stored(h);

    const QString first = v.generated();
    press(Qt::Key_R, Qt::ControlModifier);
    EXPECT_NE(v.generated(), first);
    const QString second = v.generated();
    v.regenerateButton()->click();
    EXPECT_NE(v.generated(), second);
    EXPECT_EQ(v.options(), Options::defaults());
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(stored(h), storedBefore);

    // Bound to the sheet's window: the same keys in another window do nothing here.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    const QString third = v.generated();
    QTest::keyClick(&other, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(v.generated(), third);
}

TEST_F(GeneratorFixture, RouteModeClosesThroughTheRoute) {
    struct Case {
        Qt::Key key;
        bool copies;
        const char* note;
    };
    const Case cases[] = {
        {Qt::Key_Return, true, "Return copies and closes"},
        {Qt::Key_Escape, false, "Escape closes"},
    };
    for (const Case& c : cases) {
        clipboardWrites->clear();
        state->setRoute(Route::generator());
        PasswordGeneratorView& v = open();
        QSignalSpy finished(&v, &QDialog::finished);
        const QString password = v.generated();
        press(c.key);
        EXPECT_FALSE(state->route()) << c.note;
        EXPECT_FALSE(v.isVisible()) << c.note;
        EXPECT_EQ(finished.count(), 1) << c.note;
        EXPECT_EQ(v.generated(), QString()) << "the closed sheet keeps no password";
        if (c.copies) {
            EXPECT_EQ(lastCopy(), std::pair(password, true)) << c.note;
        } else {
            EXPECT_TRUE(clipboardWrites->empty()) << c.note;
        }
    }

    // Another sheet (or locking) takes the route away: the sheet goes without writing it.
    state->setRoute(Route::generator());
    PasswordGeneratorView& v = open();
    state->setRoute(Route::newGroup(UUID::random()));
    EXPECT_FALSE(v.isVisible());
    EXPECT_TRUE(state->route());
}

TEST_F(GeneratorFixture, UseModeHandsThePasswordOverAndLeavesTheRouteAlone) {
    const Route editor = Route::editEntry(UUID::random());
    state->setRoute(editor);
    QDialog editorSheet(&mainWindow);
    editorSheet.open();
    std::vector<QString> used;
    const auto use = [&](const QString& password) { used.push_back(password); };

    PasswordGeneratorView& v = open(use, &editorSheet);
    EXPECT_TRUE(v.isUseMode());
    EXPECT_EQ(v.confirmButton()->text(), "Parolayı kullan");
    const QString password = v.generated();
    press(Qt::Key_Return);
    EXPECT_EQ(used, std::vector<QString>{password});
    EXPECT_EQ(state->route(), editor);
    EXPECT_FALSE(v.isVisible());
    EXPECT_TRUE(clipboardWrites->empty());

    PasswordGeneratorView& again = open(use, &editorSheet);
    press(Qt::Key_Escape);
    EXPECT_EQ(used.size(), 1u);
    EXPECT_EQ(state->route(), editor);
    EXPECT_FALSE(again.isVisible());

    // The editor below goes away (another route, locking): so does the stacked sheet.
    PasswordGeneratorView& third = open(use, &editorSheet);
    state->setRoute(std::nullopt);
    EXPECT_FALSE(third.isVisible());
    EXPECT_EQ(used.size(), 1u);
}

TEST_F(GeneratorFixture, AFailingRandomSourceShowsTheErrorInsteadOfAPassword) {
    PasswordGeneratorView& v = open();
    v.setRandomSource([](std::span<std::uint8_t>) { return false; });
    v.regenerate();
    EXPECT_EQ(v.generated(), QString());
    const std::string expected =
        PasswordGenerator::Error(PasswordGenerator::Error::Kind::randomSourceFailed).description();
    EXPECT_EQ(v.generationError(), QString::fromStdString(expected));
    EXPECT_TRUE(v.errorBanner()->isVisible());
    EXPECT_EQ(v.errorBanner()->message(), QString::fromStdString(expected));
    EXPECT_FALSE(v.confirmButton()->isEnabled());

    v.setRandomSource(generatortest::countingSource());
    press(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(v.generated().size(), 20);
    EXPECT_FALSE(v.generationError());
    EXPECT_FALSE(v.errorBanner()->isVisible());
}

TEST_F(GeneratorFixture, ThePreviewKeepsItsHeightSoTheSwitchesStayUnderThePointer) {
    h.preferences.setGeneratorOptions(generatorOptions(64, true, true, true, true, false));
    PasswordGeneratorView& v = open();
    QApplication::processEvents();
    const auto switchTop = [&] {
        QApplication::processEvents();
        return v.classSwitches()[0]->mapTo(&v, QPoint(0, 0)).y();
    };
    const int previewHeight = v.previewText()->height();
    const int top = switchTop();
    // Passwords of every length the slider gives, and fresh ones of the same length whose symbols
    // would break lines at different places.
    for (const int length : {64, 64, 64, 64, 8, 20, 100, 128}) {
        v.setOptions(generatorOptions(length, true, true, true, true, false));
        v.regenerate();
        EXPECT_EQ(v.previewText()->height(), previewHeight) << length << " " << v.generated().toStdString();
        EXPECT_EQ(switchTop(), top) << length;
    }
    for (const QString& text :
         {QStringLiteral("aaaa-bbbb-cccc-dddd-eeee-ffff-gggg-hhhh-iiii-jjjj-kkkk-llll-mmmm"),
          QStringLiteral("a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5")}) {
        v.previewText()->setText(text);
        EXPECT_EQ(switchTop(), top) << text.toStdString();
    }
}
