#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QProxyStyle>
#include <QStyle>
#include <QToolTip>

#include "Ombrix/Theme/ApplicationTheme.h"
#include "Ombrix/Theme/FontRegistrar.h"
#include "Ombrix/Theme/Palette.h"
#include "WidgetProbe.h"

TEST(ApplicationTheme, StockWidgetsDrawWithTheDarkTokens) {
    // The suite's main() applied the theme as the program does at start-up.
    const auto* style = qobject_cast<QProxyStyle*>(QApplication::style());
    ASSERT_TRUE(style);
    EXPECT_EQ(style->baseStyle()->name(), QStringLiteral("fusion"));
    const QPalette pal = QApplication::palette();
    struct Case {
        QPalette::ColorRole role;
        QColor color;
        const char* note;
    };
    const Case cases[] = {
        {QPalette::Window, Palette::canvas, "window"},
        {QPalette::WindowText, Palette::text, "window text"},
        {QPalette::Base, Palette::canvas, "base"},
        {QPalette::Text, Palette::text, "text"},
        {QPalette::Button, Palette::elevated, "button"},
        {QPalette::Highlight, Palette::accent, "highlight"},
        {QPalette::HighlightedText, accentInk, "on highlight"},
        {QPalette::PlaceholderText, Palette::textMuted, "placeholder"},
        {QPalette::ToolTipBase, Palette::elevated, "tool tip"},
    };
    for (const Case& c : cases) EXPECT_EQ(pal.color(QPalette::Active, c.role), c.color) << c.note;
    EXPECT_EQ(pal.color(QPalette::Disabled, QPalette::Text), Palette::textMuted);
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), Palette::elevated);
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipText), Palette::text);
    EXPECT_EQ(QApplication::font().family(), FontRegistrar::textFamily);
    EXPECT_EQ(QApplication::font().pixelSize(), 13);
}

TEST(ApplicationTheme, MenuSeparatorsShowInTheQuietBorderColour) {
    QMenu menu;
    menu.addAction(QStringLiteral("Kaydet"));
    QAction* separator = menu.addSeparator();
    menu.addAction(QStringLiteral("Çıkış"));
    menu.show();
    QApplication::processEvents();
    const QImage image = menu.grab().toImage();
    const QRect area = menu.actionGeometry(separator);
    ASSERT_TRUE(area.isValid());
    // Somewhere across the middle of the separator's space the line is drawn in full.
    bool found = false;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        if (probe::colorNear(probe::pixel(image, area.center().x(), y), Palette::lineStrong)) found = true;
    }
    EXPECT_TRUE(found);
}
