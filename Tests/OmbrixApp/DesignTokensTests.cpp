#include <gtest/gtest.h>

#include <QColor>

#include "Ombrix/Theme/Metrics.h"
#include "Ombrix/Theme/Palette.h"

TEST(Palette, ColoursHaveTheirValues) {
    struct Case {
        QColor color;
        const char* hex;
        const char* note;
    };
    const Case cases[] = {
        {Palette::canvas, "#15110e", "canvas"},
        {Palette::surface, "#1d1815", "surface"},
        {Palette::elevated, "#252017", "elevated"},
        {Palette::hover, "#2e2823", "hover"},
        {Palette::line, "#342d27", "line"},
        {Palette::lineStrong, "#4a4139", "lineStrong"},
        {Palette::text, "#f6f0ea", "text"},
        {Palette::textSoft, "#c3b8ad", "textSoft"},
        {Palette::textMuted, "#8e8379", "textMuted"},
        {Palette::accent, "#ff6b3d", "accent"},
        {Palette::accentHover, "#ff804f", "accentHover"},
        {Palette::info, "#7b92ff", "info"},
        {Palette::warn, "#ffc24b", "warn"},
        {Palette::success, "#4fcb90", "success"},
        {Palette::danger, "#ff6b6b", "danger"},
        {accentInk, "#1a0f08", "ink on accent"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.color.name().toStdString(), c.hex) << c.note;
        EXPECT_EQ(c.color.alpha(), 255) << c.note;
        EXPECT_EQ(c.color.spec(), QColor::Rgb) << c.note;
    }
}

TEST(Palette, SelectionIsTheAccentAtEighteenPercent) {
    EXPECT_EQ(Palette::selection.rgb(), Palette::accent.rgb());
    EXPECT_NEAR(Palette::selection.alphaF(), 0.18, 1e-4);
}

TEST(Radius, Values) {
    EXPECT_EQ(Radius::small, 6);
    EXPECT_EQ(Radius::control, 8);
    EXPECT_EQ(Radius::card, 12);
    EXPECT_EQ(Radius::panel, 16);
    EXPECT_EQ(Radius::pill, 999);  // finite on purpose
}

TEST(Metric, Values) {
    const std::pair<qreal, qreal> cases[] = {{Metric::hairline, 1},
                                             {Metric::xs, 4},
                                             {Metric::s, 8},
                                             {Metric::m, 12},
                                             {Metric::l, 16},
                                             {Metric::xl, 24},
                                             {Metric::xxl, 32},
                                             {Metric::controlHeight, 30},
                                             {Metric::controlHeightSmall, 24}};
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

TEST(Metric, MotionIsAnEaseOutOf140Milliseconds) {
    EXPECT_EQ(Metric::motion.durationMs, 140);
    const QEasingCurve curve = Metric::motion.easing();
    EXPECT_NEAR(curve.valueForProgress(0), 0, 1e-9);
    EXPECT_NEAR(curve.valueForProgress(1), 1, 1e-9);
    // Ease-out: fast start, slow finish.
    EXPECT_GT(curve.valueForProgress(0.25), 0.35);
    EXPECT_GT(curve.valueForProgress(0.5), 0.65);
    EXPECT_LT(curve.valueForProgress(0.9), 1.0);
}
