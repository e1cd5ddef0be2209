#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include <functional>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/StatusBar.h"
#include "OmbrixUI/SymbolView.h"
#include "Support/MainWindowFixture.h"
#include "Support/WidgetProbe.h"

using namespace mainwindow;

namespace {

struct BarFixture : Fixture {
    EntryListModel entries{*state};
    StatusBar bar{*state, entries, clipboard};

    BarFixture() {
        bar.resize(700, bar.sizeHint().height());
        bar.show();
        settle();
    }

    bool shows(QWidget* w) const { return !w->isHidden(); }
};

}  // namespace

TEST(StatusBar, EachElementShowsExactlyWhileItsConditionHolds) {
    struct Case {
        const char* note;
        std::function<void(Fixture&)> setup;
        std::optional<const char*> countdown;
        std::optional<const char*> status;
        std::optional<const char*> error;
        bool unsaved;
        const char* count;
    };
    const Case cases[] = {
        {"quiet: only the count of the listed entries", [](Fixture&) {}, {}, {}, {}, false, "2 kayıt"},
        {"a copied secret counts down",
         [](Fixture& f) {
             f.clipboard.copySecret(QStringLiteral("gizli"));
             f.advanceOneSecond();
         },
         "Pano 11 sn sonra temizlenecek",
         {},
         {},
         false,
         "2 kayıt"},
        {"a plain copy starts no countdown",
         [](Fixture& f) { f.clipboard.copyPlain(QStringLiteral("adres")); },
         {},
         {},
         {},
         false,
         "2 kayıt"},
        {"a confirmation",
         [](Fixture& f) { f.state->copyPassword(f.sample.github); },
         {},
         "Parola kopyalandı",
         {},
         false,
         "2 kayıt"},
        {"a confirmation and an error side by side",
         [](Fixture& f) {
             f.state->showStatus(QStringLiteral("Kaydedildi"));
             f.state->setLastError(QStringLiteral("Dosya kaydedilemedi."));
         },
         {},
         "Kaydedildi",
         "Dosya kaydedilemedi.",
         false,
         "2 kayıt"},
        {"unsaved changes", [](Fixture& f) { f.makeDirty(); }, {}, {}, {}, true, "2 kayıt"},
        {"a search counts its matches",
         [](Fixture& f) { f.state->setSearchText(QStringLiteral("ayse")); },
         {},
         {},
         {},
         false,
         "3 kayıt"},
        {"a search without matches",
         [](Fixture& f) { f.state->setSearchText(QStringLiteral("yok yok")); },
         {},
         {},
         {},
         false,
         "0 kayıt"},
        {"an empty group",
         [](Fixture& f) { f.state->setSelectedGroupID(f.sample.empty.id); },
         {},
         {},
         {},
         false,
         "0 kayıt"},
    };
    for (const Case& c : cases) {
        BarFixture f;
        c.setup(f);
        EXPECT_EQ(f.shows(f.bar.countdown()), c.countdown.has_value()) << c.note;
        EXPECT_EQ(f.shows(f.bar.clearButton()), c.countdown.has_value()) << c.note;
        if (c.countdown) {
            EXPECT_EQ(f.bar.countdownLabel()->text().toStdString(), *c.countdown) << c.note;
        }
        EXPECT_EQ(f.shows(f.bar.statusLabel()), c.status.has_value()) << c.note;
        if (c.status) {
            EXPECT_EQ(f.bar.statusLabel()->text().toStdString(), *c.status) << c.note;
        }
        EXPECT_EQ(f.shows(f.bar.errorLabel()), c.error.has_value()) << c.note;
        EXPECT_EQ(f.bar.errorText()->text().toStdString(), c.error.value_or("")) << c.note;
        EXPECT_EQ(f.shows(f.bar.unsavedMark()), c.unsaved) << c.note;
        EXPECT_EQ(f.bar.countLabel()->text().toStdString(), c.count) << c.note;
    }
}

TEST(StatusBar, ConfirmationLeavesAfterTwoSeconds) {
    BarFixture f;
    f.state->copyUsername(f.sample.github);
    EXPECT_TRUE(f.shows(f.bar.statusLabel()));
    f.harness.scheduler->advance(AppState::statusDuration);
    EXPECT_FALSE(f.shows(f.bar.statusLabel()));
}

TEST(StatusBar, ClearingEndsTheCountdownAtOnce) {
    BarFixture f;
    f.clipboard.copySecret(QStringLiteral("gizli"));
    ASSERT_TRUE(f.shows(f.bar.countdown()));
    EXPECT_EQ(f.bar.clearButton()->text().toStdString(), "Temizle");
    QTest::mouseClick(f.bar.clearButton(), Qt::LeftButton);
    EXPECT_EQ(f.clipboard.secondsRemaining(), 0);
    EXPECT_FALSE(f.clipboard.hasPendingSecret());
    EXPECT_FALSE(f.shows(f.bar.countdown()));
    EXPECT_FALSE(f.shows(f.bar.clearButton()));
}

TEST(StatusBar, ClickingTheErrorDismissesIt) {
    BarFixture f;
    f.state->setLastError(QStringLiteral("Parola ya da anahtar dosyası hatalı."));
    settle();
    ASSERT_TRUE(f.shows(f.bar.errorLabel()));
    QTest::mouseClick(f.bar.errorLabel(), Qt::LeftButton);
    EXPECT_FALSE(f.state->lastError());
    EXPECT_FALSE(f.shows(f.bar.errorLabel()));
}

TEST(StatusBar, NarrowBarShortensTheUnsavedTextFirst) {
    BarFixture f;
    f.makeDirty();
    f.clipboard.copySecret(QStringLiteral("gizli"));
    f.bar.resize(360, f.bar.height());
    settle();
    const auto* countdown = f.bar.countdownLabel();
    EXPECT_GE(countdown->width(), countdown->sizeHint().width());
    EXPECT_GE(f.bar.countLabel()->width(), f.bar.countLabel()->sizeHint().width());
    EXPECT_LT(f.bar.unsavedMark()->width(), f.bar.unsavedMark()->sizeHint().width());
}

TEST(StatusBar, SymbolsAreNinePixelsTall) {
    BarFixture f;
    f.clipboard.copySecret(QStringLiteral("gizli"));
    f.state->setLastError(QStringLiteral("Kaydedilemedi."));
    settle();
    const QList<SymbolView*> symbols = f.bar.findChildren<SymbolView*>();
    ASSERT_EQ(symbols.size(), 2);
    for (SymbolView* symbol : symbols) {
        const QImage image = probe::render(*symbol, Palette::surface);
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!probe::colorNear(probe::pixel(image, x, y), Palette::surface, 24))
                    ink |= QRect(x, y, 1, 1);
        EXPECT_LE(qMax(ink.width(), ink.height()), 9) << symbol->symbol().toStdString();
        EXPECT_GE(qMax(ink.width(), ink.height()), 7) << symbol->symbol().toStdString();
    }
}

TEST(StatusBar, NumbersKeepTheirPlaceAsTheyChange) {
    // Digits of equal width: as the countdown ticks and the count changes, the text around the
    // number stays where it was.
    BarFixture f;
    const auto ink = [&](QWidget* w) {
        settle();
        const QImage shot = f.bar.grab().toImage();
        return probe::inkColumns(shot, QRect(w->mapTo(&f.bar, QPoint(0, 0)), w->size()), Palette::surface);
    };
    const auto addEntries = [&](int n) {
        for (int i = 0; i < n; ++i) f.state->addEntry(fakes::entry("Ek"), f.state->database()->root.id);
    };

    f.clipboard.copySecret(QStringLiteral("gizli"));
    f.advanceOneSecond();
    ASSERT_EQ(f.bar.countdownLabel()->text().toStdString(), "Pano 11 sn sonra temizlenecek");
    const int countdownEnd = ink(f.bar.countdownLabel()).second;
    f.advanceOneSecond();
    ASSERT_EQ(f.bar.countdownLabel()->text().toStdString(), "Pano 10 sn sonra temizlenecek");
    EXPECT_EQ(ink(f.bar.countdownLabel()).second, countdownEnd);

    // The count sits at the right end, so its first digit is what would move.
    addEntries(9);
    ASSERT_EQ(f.bar.countLabel()->text().toStdString(), "11 kayıt");
    const int countStart = ink(f.bar.countLabel()).first;
    addEntries(7);
    ASSERT_EQ(f.bar.countLabel()->text().toStdString(), "18 kayıt");
    EXPECT_EQ(ink(f.bar.countLabel()).first, countStart);
}

TEST(StatusBar, ElementsFadeInAndOut) {
    BarFixture f;
    probe::MotionOn on;
    const auto drawsIn = [&](QWidget* element, const QColor& color) {
        const QImage shot = f.bar.grab().toImage();
        return probe::containsColor(shot, QRect(element->mapTo(&f.bar, QPoint(0, 0)), element->size()),
                                    color);
    };

    // Coming: the confirmation is drawn transparent at first, then in its colour.
    f.state->copyUsername(f.sample.github);
    ASSERT_TRUE(f.shows(f.bar.statusLabel()));
    EXPECT_FALSE(drawsIn(f.bar.statusLabel(), Palette::success));
    EXPECT_TRUE(QTest::qWaitFor([&] { return drawsIn(f.bar.statusLabel(), Palette::success); }, 2000));

    // Going: the confirmation and a dismissed error stay while they fade, then leave.
    f.state->setLastError(QStringLiteral("Kaydedilemedi."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawsIn(f.bar.errorLabel(), Palette::danger); }, 2000));
    f.harness.scheduler->advance(AppState::statusDuration);
    QTest::mouseClick(f.bar.errorLabel(), Qt::LeftButton);
    EXPECT_FALSE(f.state->lastError());
    EXPECT_TRUE(f.shows(f.bar.statusLabel()));
    EXPECT_TRUE(f.shows(f.bar.errorLabel()));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !f.shows(f.bar.statusLabel()) && !f.shows(f.bar.errorLabel()); }, 2000));
}
