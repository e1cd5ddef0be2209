#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/IconTile.h"
#include "OmbrixUI/MetaStat.h"
#include "OmbrixUI/SymbolView.h"
#include "Support/WidgetProbe.h"

namespace {

// `widget` alone in a host of `size`, laid out and shown.
struct Host {
    QWidget widget;
    QVBoxLayout* layout = new QVBoxLayout(&widget);

    Host(QWidget* child, QSize size, bool stretchBelow) {
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(child);
        if (stretchBelow) layout->addStretch();
        widget.resize(size);
        widget.show();
        QApplication::processEvents();
    }
};

}  // namespace

TEST(EmptyStateView, ButtonOnlyWithBothTitleAndAction) {
    struct Case {
        std::optional<QString> title;
        bool withAction;
        bool button;
        const char* note;
    };
    const Case cases[] = {
        {QStringLiteral("Kayıt ekle"), true, true, "title and action"},
        {QStringLiteral("Kayıt ekle"), false, false, "title without action"},
        {std::nullopt, true, false, "action without title"},
        {std::nullopt, false, false, "neither"},
    };
    for (const Case& c : cases) {
        int runs = 0;
        std::function<void()> action;
        if (c.withAction) action = [&runs] { ++runs; };
        EmptyStateView view(QStringLiteral("tray"), QStringLiteral("Kayıt yok"),
                            QStringLiteral("Bu grup boş."), c.title, action);
        EXPECT_EQ(view.actionButton() != nullptr, c.button) << c.note;
        if (view.actionButton()) {
            EXPECT_EQ(view.actionButton()->text(), *c.title) << c.note;
            EXPECT_EQ(view.actionButton()->variant(), ButtonVariant::secondary) << c.note;
            EXPECT_TRUE(view.actionButton()->isSmall()) << c.note;
            view.actionButton()->click();
            EXPECT_EQ(runs, 1) << c.note;
        }
    }
}

TEST(EmptyStateView, FillsTheHeightOnlyWhenAsked) {
    auto* natural = new EmptyStateView(QStringLiteral("tray"), QStringLiteral("Kayıt yok"),
                                       QStringLiteral("Bu grup boş."), std::nullopt, {}, false);
    Host a(natural, {500, 600}, true);
    EXPECT_EQ(natural->width(), 500);
    EXPECT_LT(natural->height(), 250);

    auto* filling = new EmptyStateView(QStringLiteral("tray"), QStringLiteral("Kayıt yok"),
                                       QStringLiteral("Bu grup boş."), std::nullopt, {}, true);
    Host b(filling, {500, 600}, false);
    EXPECT_EQ(filling->height(), 600);
    // The content stays centred: the title sits in the middle third.
    const int titleY = filling->titleLabel()->geometry().center().y();
    EXPECT_GT(titleY, 200);
    EXPECT_LT(titleY, 400);
}

TEST(EmptyStateView, LongMessageWrapsWithin280) {
    const QString message = QStringLiteral(
        "Var olan bir .kdbx dosyasını aç ya da sıfırdan yeni bir kasa oluştur; parolan bu cihazdan hiç "
        "çıkmaz "
        "ve her kayıt yerel olarak şifrelenir.");
    auto* view =
        new EmptyStateView(QStringLiteral("lock.doc"), QStringLiteral("Henüz bir kasa yok"), message);
    Host host(view, {600, 500}, true);
    const QRect messageRect = view->messageLabel()->geometry();
    EXPECT_LE(messageRect.width(), 280);
    EXPECT_NEAR(messageRect.center().x(), 300, 1);
    EXPECT_GT(messageRect.height(), 2 * view->messageLabel()->fontMetrics().height());
    EXPECT_EQ(view->messageLabel()->text(), message);
}

TEST(IconTile, TintIsTheGivenOneElseTheIconNumbers) {
    struct Case {
        std::int64_t id;
        std::optional<QColor> tint;
        QColor expected;
        const char* note;
    };
    const Case cases[] = {
        {0, std::nullopt, Palette::accent, "0 without tint"},
        {8, std::nullopt, Palette::success, "unnamed 8 still has its tint"},
        {1, Palette::textSoft, Palette::textSoft, "given tint wins"},
        {0, Palette::danger, Palette::danger, "given tint wins over 0"},
    };
    for (const Case& c : cases) {
        IconTile tile(c.id, 30, c.tint);
        EXPECT_EQ(tile.size(), QSize(30, 30)) << c.note;
        EXPECT_EQ(IconTile::effectiveTint(c.id, c.tint), c.expected) << c.note;
        const QImage image = probe::render(tile, Palette::surface);
        // The rounded square at 0.15 of the tint; the symbol in the tint itself.
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, 15, 2),
                                     probe::over(withOpacity(c.expected, 0.15), Palette::surface)))
            << c.note;
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, 0, 0), Palette::surface)) << c.note;
        EXPECT_TRUE(probe::containsColor(image, QRect(8, 8, 14, 14), c.expected, 12)) << c.note;
    }
}

TEST(MetaStat, KeepsItsWidthAndCutsALongValue) {
    QWidget host;
    auto* row = new QHBoxLayout(&host);
    row->setContentsMargins(0, 0, 0, 0);
    auto* shortStat = new MetaStat(QStringLiteral("Oluşturuldu"), QStringLiteral("1"));
    row->addWidget(shortStat);
    row->addStretch();
    host.resize(400, 60);
    host.show();
    QApplication::processEvents();
    EXPECT_GE(shortStat->width(), 130);
    EXPECT_EQ(shortStat->valueLabel()->font(), BrandFont::secondary());
    EXPECT_EQ(shortStat->valueLabel()->color(), Palette::textSoft);

    MetaStat longStat(QStringLiteral("Değiştirildi"), QString(80, QLatin1Char('x')));
    longStat.resize(130, longStat.sizeHint().height());
    QApplication::processEvents();
    longStat.show();
    QApplication::processEvents();
    EXPECT_TRUE(longStat.valueLabel()->isElided());
    EXPECT_EQ(longStat.valueLabel()->height(), longStat.valueLabel()->sizeHint().height());
}

TEST(ErrorBanner, CloseButtonOnlyWithADismissActionAndItNeverHidesTheBanner) {
    ErrorBanner plain(QStringLiteral("Parola ya da anahtar dosyası hatalı."));
    EXPECT_EQ(plain.dismissButton(), nullptr);

    int dismissed = 0;
    auto* banner = new ErrorBanner(QStringLiteral("Parola ya da anahtar dosyası hatalı."),
                                   [&dismissed] { ++dismissed; });
    Host host(banner, {360, 200}, true);
    ASSERT_NE(banner->dismissButton(), nullptr);
    EXPECT_EQ(banner->dismissButton()->symbol(), QStringLiteral("xmark"));
    QTest::mouseClick(banner->dismissButton(), Qt::LeftButton);
    EXPECT_EQ(dismissed, 1);
    EXPECT_TRUE(banner->isVisible());

    banner->setPresent(false);
    EXPECT_FALSE(banner->isVisible());
    banner->setPresent(true);
    EXPECT_TRUE(banner->isVisible());
}

TEST(ErrorBanner, LongMessageWrapsBesideIconAndButton) {
    const QString message = QStringLiteral(
        "Veritabanı dosyası okunamadı: başlık bozuk ya da dosya bir KDBX dosyası değil. Başka bir dosya "
        "seçip "
        "yeniden dene.");
    auto* banner = new ErrorBanner(message, [] {});
    Host host(banner, {320, 300}, true);
    QLabel* label = banner->messageLabel();
    EXPECT_GT(label->height(), 2 * label->fontMetrics().height());
    EXPECT_LT(label->geometry().right(), banner->dismissButton()->geometry().left());
    EXPECT_GE(label->geometry().left(), 12 + 12 + 8);
    EXPECT_EQ(label->geometry().top(), 12);
    // Tinted fill inside, and its border at the edge.
    const QImage image = probe::render(*banner, Palette::surface);
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 4, banner->height() / 2),
                                 probe::over(withOpacity(Palette::danger, 0.12), Palette::surface)));
    EXPECT_TRUE(
        probe::colorNear(probe::pixel(image, 0, banner->height() / 2),
                         probe::over(withOpacity(Palette::danger, 0.35),
                                     probe::over(withOpacity(Palette::danger, 0.12), Palette::surface))));
}

TEST(ErrorBanner, SlidesInAndOutWhenMotionIsOn) {
    auto* banner = new ErrorBanner(QStringLiteral("Dosya kaydedilemedi."));
    Host host(banner, {360, 200}, true);
    probe::MotionOn motion;
    banner->setPresent(false);
    EXPECT_TRUE(banner->isVisible());  // still on its way out
    EXPECT_NE(banner->graphicsEffect(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return banner->isHidden(); }, 3000));
    EXPECT_EQ(banner->graphicsEffect(), nullptr);

    banner->setPresent(true);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return banner->graphicsEffect() == nullptr; }, 3000));
    EXPECT_TRUE(banner->isVisible());
    EXPECT_TRUE(banner->isPresent());
}
