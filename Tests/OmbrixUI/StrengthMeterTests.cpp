#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QVBoxLayout>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/StrengthMeter.h"
#include "Support/WidgetProbe.h"

TEST(StrengthMeter, BandAndLitSegmentsFollowTheScore) {
    struct Case {
        std::int64_t score;
        const char* verdict;
        QColor color;
        int lit;
    };
    const Case cases[] = {
        {-5, "Çok zayıf", Palette::danger, 0},   {0, "Çok zayıf", Palette::danger, 0},
        {1, "Çok zayıf", Palette::danger, 1},    {24, "Çok zayıf", Palette::danger, 1},
        {25, "Zayıf", Palette::warn, 1},         {26, "Zayıf", Palette::warn, 2},
        {49, "Zayıf", Palette::warn, 2},         {50, "İyi", Palette::info, 2},
        {51, "İyi", Palette::info, 3},           {74, "İyi", Palette::info, 3},
        {75, "Güçlü", Palette::success, 3},      {76, "Güçlü", Palette::success, 4},
        {89, "Güçlü", Palette::success, 4},      {90, "Çok güçlü", Palette::success, 4},
        {100, "Çok güçlü", Palette::success, 4},
    };
    for (const Case& c : cases) {
        const StrengthMeter::Band band = StrengthMeter::band(c.score);
        EXPECT_EQ(band.verdict, QString::fromUtf8(c.verdict)) << "score " << c.score;
        EXPECT_EQ(band.color, c.color) << "score " << c.score;
        EXPECT_EQ(StrengthMeter::litSegments(c.score), c.lit) << "score " << c.score;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(StrengthMeter::isSegmentLit(i, c.score), i < c.lit) << c.score << "/" << i;
    }
}

TEST(StrengthMeter, EntropyRoundsHalvesAwayAndLengthCountsWhatTheUserSees) {
    const std::pair<double, const char*> entropies[] = {{12.5, "· 13 bit entropi"},
                                                        {12.49, "· 12 bit entropi"},
                                                        {0.0, "· 0 bit entropi"},
                                                        {131.5, "· 132 bit entropi"}};
    for (const auto& [bits, text] : entropies)
        EXPECT_EQ(StrengthMeter::entropyText(bits), QString::fromUtf8(text)) << bits;

    const std::pair<QString, const char*> lengths[] = {
        {QString(), "0 karakter"},
        {QStringLiteral("abc"), "3 karakter"},
        {QStringLiteral("e\u0301"), "1 karakter"},                                     // e + combining acute
        {QStringLiteral("\U0001F469\u200D\U0001F469\u200D\U0001F467"), "1 karakter"},  // family emoji
        {QStringLiteral("ığü1 "), "5 karakter"},
    };
    for (const auto& [password, text] : lengths)
        EXPECT_EQ(StrengthMeter::lengthText(password), QString::fromUtf8(text)) << text;
}

TEST(StrengthMeter, RatesThePasswordAndPaintsTheSegments) {
    struct Case {
        QString password;
        bool compact;
        int lit;
        const char* note;
    };
    const Case cases[] = {
        {QString(), false, 0, "empty: nothing lit"},
        {QStringLiteral("abc"), false, 1, "weak"},
        {QStringLiteral("Tr0ub4dor&3"), false, 3, "good"},
        {QStringLiteral("kR7#pX2$vL9@qM4!zT6&"), false, 4, "strong"},
        {QStringLiteral("kR7#pX2$vL9@qM4!zT6&"), true, 4, "compact"},
    };
    for (const Case& c : cases) {
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* meter = new StrengthMeter(c.compact);
        layout->addWidget(meter);
        layout->addStretch();
        meter->setPassword(c.password);
        host.resize(203, 60);
        host.show();
        QApplication::processEvents();

        const PasswordGenerator::Strength expected = PasswordGenerator::strength(c.password);
        EXPECT_EQ(meter->strength(), expected) << c.note;
        EXPECT_EQ(StrengthMeter::litSegments(expected.score), c.lit) << c.note;
        const int line = qCeil(QFontMetricsF(BrandFont::body(11, QFont::DemiBold)).height());
        EXPECT_EQ(meter->height(), c.compact ? 4 : 5 + 8 + line) << c.note;
        const QImage image = probe::render(*meter, Palette::elevated);
        // Four segments of (203 - 3 × 3) / 4 = 48.5, lit in the band's colour, else the line colour.
        const QColor lit = StrengthMeter::band(expected.score).color;
        for (int i = 0; i < 4; ++i) {
            const QColor want = StrengthMeter::isSegmentLit(i, expected.score) ? lit : Palette::line;
            EXPECT_TRUE(probe::colorNear(probe::pixel(image, qRound(i * 51.5 + 24), 2), want))
                << c.note << " segment " << i;
        }
        EXPECT_TRUE(probe::colorNear(probe::pixel(image, 49, 2), Palette::elevated)) << c.note << " gap";
        if (!c.compact) {
            const QRect line(0, 13, meter->width(), meter->height() - 13);
            EXPECT_TRUE(probe::containsColor(image, line, lit, 40)) << c.note << " verdict";
            EXPECT_TRUE(probe::containsColor(image, line, Palette::textMuted, 40)) << c.note << " details";
        }
    }
}
