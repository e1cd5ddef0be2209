#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProxyStyle>
#include <QStyle>
#include <QToolTip>

#include "OmbrixTheme/ApplicationTheme.h"
#include "OmbrixTheme/FontRegistrar.h"
#include "OmbrixTheme/Palette.h"
#include "Support/WidgetProbe.h"

namespace {

// A stock line edit as Qt's own dialogs show one, drawn as on the screen.
QImage lineEdit(const QString& text, const QString& placeholder, bool enabled, bool selected) {
    QLineEdit edit;
    edit.setText(text);
    edit.setPlaceholderText(placeholder);
    edit.setEnabled(enabled);
    if (selected) edit.selectAll();
    edit.resize(160, 30);
    edit.show();
    QApplication::processEvents();
    return edit.grab().toImage();
}

}  // namespace

// Qt's own widgets (its file dialogs, message boxes, context menus) draw in the dark colours.
TEST(ApplicationTheme, StockWidgetsDrawInTheDarkColours) {
    // The suite's main() applied the theme as the program does at start-up.
    const auto* style = qobject_cast<QProxyStyle*>(QApplication::style());
    ASSERT_TRUE(style);
    EXPECT_EQ(style->baseStyle()->name(), QStringLiteral("fusion"));
    EXPECT_EQ(QApplication::font().family(), FontRegistrar::textFamily);
    EXPECT_EQ(QApplication::font().pixelSize(), 13);

    QWidget window;
    window.resize(40, 40);
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(probe::colorNear(probe::pixel(window.grab().toImage(), 20, 20), Palette::canvas)) << "window";

    struct Case {
        QImage image;
        QColor color;
        bool fill;  // at the right end of the field, past the text; else somewhere in the text
        const char* note;
    };
    const QString text = QStringLiteral("Kasa");
    const Case cases[] = {
        {lineEdit(text, {}, true, false), Palette::canvas, true, "field"},
        {lineEdit(text, {}, true, false), Palette::text, false, "text"},
        {lineEdit({}, QStringLiteral("Ara"), true, false), Palette::textMuted, false, "placeholder"},
        {lineEdit(text, {}, false, false), Palette::textMuted, false, "disabled text"},
        {lineEdit(text, {}, true, true), Palette::accent, false, "selection"},
        {lineEdit(text, {}, true, true), accentInk, false, "selected text"},
    };
    for (const Case& c : cases) {
        const QRect textArea(4, 6, 60, c.image.height() - 12);
        if (c.fill) {
            EXPECT_TRUE(
                probe::colorNear(probe::pixel(c.image, c.image.width() - 10, c.image.height() / 2), c.color))
                << c.note;
        } else {
            EXPECT_TRUE(probe::containsColor(c.image, textArea, c.color)) << c.note;
        }
    }
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
