#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Badge.h"
#include "OmbrixUI/BrandMark.h"
#include "OmbrixUI/FieldLabel.h"
#include "OmbrixUI/FloppyDiskIcon.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/SectionHeader.h"
#include "Support/WidgetProbe.h"

namespace {

bool near(qreal a, qreal b) {
    return std::abs(a - b) < 1e-9;
}

::testing::AssertionResult rectNear(const QRectF& actual, const QRectF& expected) {
    if (near(actual.x(), expected.x()) && near(actual.y(), expected.y()) &&
        near(actual.width(), expected.width()) && near(actual.height(), expected.height()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << actual.x() << ", " << actual.y() << ", " << actual.width()
                                         << " × " << actual.height() << ")";
}

}  // namespace

TEST(FieldLabel, IsOneLineOfTheLabelStyleInItsColour) {
    FieldLabel label(QStringLiteral("Kullanıcı adı"), Palette::textMuted);
    EXPECT_EQ(label.font(), BrandFont::label());
    EXPECT_EQ(label.color(), Palette::textMuted);
    EXPECT_EQ(label.sizeHint().height(), qCeil(QFontMetricsF(BrandFont::label()).height()));
    label.resize(30, label.sizeHint().height());
    EXPECT_TRUE(label.displayedText().endsWith(QStringLiteral("…")));
}

TEST(Badge, PadsItsTextAndOptionalSymbol) {
    const QFontMetricsF fm(BrandFont::label());
    const qreal textWidth = fm.horizontalAdvance(QStringLiteral("Argon2id"));
    Badge plain(QStringLiteral("Argon2id"), std::nullopt, Palette::info);
    Badge withIcon(QStringLiteral("Argon2id"), QStringLiteral("cpu"), Palette::info);
    EXPECT_EQ(plain.sizeHint(), QSize(qCeil(16 + textWidth), qCeil(6 + fm.height())));
    EXPECT_EQ(withIcon.sizeHint(), QSize(qCeil(16 + 9 + 4 + textWidth), qCeil(6 + fm.height())));

    // The capsule is the tint at 0.14 over whatever lies behind the badge.
    plain.resize(plain.sizeHint());
    const QImage image = probe::render(plain, Palette::surface);
    const QColor fill = probe::over(withOpacity(Palette::info, 0.14), Palette::surface);
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, plain.width() / 2, 1), fill));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 0, 0), Palette::surface));  // round end
    EXPECT_TRUE(probe::containsColor(image, image.rect(), Palette::info, 40));
}

TEST(FloppyDiskIcon, GeometryScalesWithTheSide) {
    struct Case {
        qreal side;
        qreal lineWidth;
        QRectF shutter;
        QRectF label;
        const char* note;
    };
    const Case cases[] = {
        {20, 1.7, {7, 2.6, 6, 5.2}, {4.8, 11.2, 10.4, 6.4}, "20 px"},
        {10, 1.0, {3.5, 1.3, 3, 2.6}, {2.4, 5.6, 5.2, 3.2}, "below 11.76 the line stays 1 px"},
        {11.76, 1.0, {4.116, 1.5288, 3.528, 3.0576}, {2.8224, 6.5856, 6.1152, 3.7632}, "where both agree"},
    };
    for (const Case& c : cases) {
        const auto g = FloppyDiskIcon::geometry(QRectF(0, 0, c.side, c.side));
        EXPECT_NEAR(g.lineWidth, c.lineWidth, 1e-3) << c.note;
        EXPECT_NEAR(g.corner, c.side * 0.22, 1e-9) << c.note;
        EXPECT_NEAR(g.innerRadius, g.lineWidth * 0.4, 1e-9) << c.note;
        const qreal half = g.lineWidth / 2;
        EXPECT_TRUE(rectNear(g.body, QRectF(half, half, c.side - 2 * half, c.side - 2 * half))) << c.note;
        EXPECT_TRUE(rectNear(g.shutter, c.shutter)) << c.note;
        EXPECT_TRUE(rectNear(g.label, c.label)) << c.note;
    }
}

TEST(FloppyDiskIcon, BodyCutsOnlyTheTopRightCorner) {
    const QPainterPath path = FloppyDiskIcon::bodyPath(QRectF(2, 4, 10, 10), 3);
    const QPolygonF outline = path.toFillPolygon();
    const QPolygonF expected{{2, 4}, {9, 4}, {12, 7}, {12, 14}, {2, 14}, {2, 4}};
    EXPECT_EQ(outline, expected);
}

TEST(BrandMark, KeyOnAGradientFromWarnToAccent) {
    BrandMark mark(44);
    EXPECT_EQ(mark.size(), QSize(44, 44));
    const QImage image = probe::render(mark, Palette::surface);
    auto distance = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
    };
    const QColor topLeft = probe::pixel(image, 9, 9);
    const QColor bottomRight = probe::pixel(image, 34, 34);
    EXPECT_LT(distance(topLeft, Palette::warn), distance(topLeft, Palette::accent));
    EXPECT_LT(distance(bottomRight, Palette::accent), distance(bottomRight, Palette::warn));
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 0, 0), Palette::surface));  // rounded corner
    EXPECT_TRUE(probe::containsColor(image, QRect(12, 12, 20, 20), accentInk, 6));
}

TEST(HairlineDivider, IsOnePixelAcrossTheWidth) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* divider = new HairlineDivider(Palette::line);
    layout->addWidget(divider);
    layout->addStretch();
    host.resize(240, 40);
    host.show();
    QApplication::processEvents();
    EXPECT_EQ(divider->geometry(), QRect(0, 0, 240, 1));
    const QImage image = probe::render(*divider, Palette::surface);
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, 120, 0), Palette::line));
}

TEST(SectionHeader, TitleSubtitleAndTrailingAtTheRightEdge) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* trailing = new AppButton(QStringLiteral("Ekle"));
    auto* withAll = new SectionHeader(QStringLiteral("Geçmiş"), QStringLiteral("3 sürüm"), trailing);
    auto* bare = new SectionHeader(QStringLiteral("Notlar"));
    layout->addWidget(withAll);
    layout->addWidget(bare);
    layout->addStretch();
    host.resize(320, 200);
    host.show();
    QApplication::processEvents();

    EXPECT_EQ(withAll->subtitle(), QStringLiteral("3 sürüm"));
    EXPECT_EQ(withAll->titleLabel()->font(), BrandFont::sectionTitle());
    EXPECT_EQ(trailing->geometry().right(), withAll->width() - 1);
    EXPECT_NEAR(trailing->geometry().center().y(), withAll->height() / 2, 1);
    EXPECT_EQ(bare->subtitle(), std::nullopt);
    EXPECT_TRUE(bare->subtitleLabel()->isHidden());
    EXPECT_EQ(bare->height(), bare->titleLabel()->height());

    bare->setSubtitle(QStringLiteral("eklendi"));
    EXPECT_EQ(bare->subtitle(), QStringLiteral("eklendi"));
    EXPECT_FALSE(bare->subtitleLabel()->isHidden());
}
