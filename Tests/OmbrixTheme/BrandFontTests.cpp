#include <gtest/gtest.h>

#include <QFontDatabase>

#include <functional>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/FontRegistrar.h"
#include "Support/WidgetProbe.h"

namespace {

struct SnapCase {
    QFont::Weight requested;
    QFont::Weight display;
    QFont::Weight text;
};

// Qt's nine standard weights in order: ultra light ... black.
const SnapCase snapCases[] = {
    {QFont::Thin, QFont::DemiBold, QFont::Normal},
    {QFont::ExtraLight, QFont::DemiBold, QFont::Normal},
    {QFont::Light, QFont::DemiBold, QFont::Normal},
    {QFont::Normal, QFont::DemiBold, QFont::Normal},
    {QFont::Medium, QFont::DemiBold, QFont::Medium},
    {QFont::DemiBold, QFont::DemiBold, QFont::DemiBold},
    {QFont::Bold, QFont::ExtraBold, QFont::Bold},
    {QFont::ExtraBold, QFont::ExtraBold, QFont::Bold},
    {QFont::Black, QFont::ExtraBold, QFont::Bold},
    {static_cast<QFont::Weight>(450), QFont::ExtraBold, QFont::Bold},  // non-standard: last row
};

}  // namespace

TEST(BrandFont, WeightsSnapOntoTheFacesOfEachFamily) {
    ASSERT_TRUE(FontRegistrar::isAvailable());
    for (const SnapCase& c : snapCases) {
        const QFont display = BrandFont::display(20, c.requested);
        EXPECT_EQ(display.weight(), c.display) << "display, requested " << c.requested;
        EXPECT_EQ(display.family(), FontRegistrar::displayFamily);
        const QFont body = BrandFont::body(13, c.requested);
        EXPECT_EQ(body.weight(), c.text) << "body, requested " << c.requested;
        EXPECT_EQ(body.family(), FontRegistrar::textFamily);
    }
}

TEST(BrandFont, FallbackUsesTheSystemFontWithTheSameSnappedWeight) {
    const QString system = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    for (const SnapCase& c : snapCases) {
        const QFont display = BrandFont::make(BrandFont::Family::display, 26, c.requested, false);
        EXPECT_EQ(display.family(), system);
        EXPECT_EQ(display.weight(), c.display) << "requested " << c.requested;
        EXPECT_EQ(display.pixelSize(), 26);
        const QFont body = BrandFont::make(BrandFont::Family::text, 13, c.requested, false);
        EXPECT_EQ(body.family(), system);
        EXPECT_EQ(body.weight(), c.text) << "requested " << c.requested;
    }
}

TEST(BrandFont, NamedStyles) {
    struct Case {
        const char* name;
        std::function<QFont()> style;
        QLatin1StringView family;
        int pixels;
        QFont::Weight weight;
    };
    const Case cases[] = {
        {"screenTitle", BrandFont::screenTitle, FontRegistrar::displayFamily, 26, QFont::ExtraBold},
        {"sheetTitle", BrandFont::sheetTitle, FontRegistrar::displayFamily, 19, QFont::ExtraBold},
        {"sectionTitle", BrandFont::sectionTitle, FontRegistrar::textFamily, 14, QFont::DemiBold},
        {"rowTitle", BrandFont::rowTitle, FontRegistrar::textFamily, 13, QFont::DemiBold},
        {"bodyText", BrandFont::bodyText, FontRegistrar::textFamily, 13, QFont::Normal},
        {"secondary", BrandFont::secondary, FontRegistrar::textFamily, 12, QFont::Normal},
        {"label", BrandFont::label, FontRegistrar::textFamily, 11, QFont::Medium},
    };
    for (const Case& c : cases) {
        const QFont font = c.style();
        EXPECT_EQ(font.family(), c.family) << c.name;
        EXPECT_EQ(font.pixelSize(), c.pixels) << c.name;
        EXPECT_EQ(font.weight(), c.weight) << c.name;
        EXPECT_FALSE(font.italic()) << c.name;
    }
}

TEST(BrandFont, MonoKeepsTheWeightAndIsMonospaced) {
    const QFont font = BrandFont::mono(12, QFont::Black);
    EXPECT_EQ(font.weight(), QFont::Black);
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_TRUE(probe::monospaced(font));
    EXPECT_NE(font.family(), FontRegistrar::textFamily);
}

TEST(BrandFont, FractionalSizesRoundToWholePixels) {
    EXPECT_EQ(BrandFont::body(12.32, QFont::Medium).pixelSize(), 12);
    EXPECT_EQ(BrandFont::body(10.5, QFont::Medium).pixelSize(), 11);
    EXPECT_EQ(BrandFont::body(0.2, QFont::Medium).pixelSize(), 1);
}
