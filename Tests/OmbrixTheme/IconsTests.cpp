#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Palette.h"
#include "Support/WidgetProbe.h"

namespace {

// Pixels drawn in `color`: at least a good part covered, its colour once un-premultiplied, and
// no more opaque than the colour itself.
int pixelsAt(const QImage& premultiplied, const QColor& color) {
    const QImage image = premultiplied.convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) >= color.alpha() * 0.4 && qAlpha(px) <= color.alpha() + 1 &&
                probe::colorNear(QColor::fromRgb(px), color, 3))
                ++n;
        }
    }
    return n;
}

}  // namespace

TEST(Icons, EverySymbolTheViewsNameHasItsOwnIcon) {
    // The names the interface asks for: the entry icon table first, then the views.
    const char* names[] = {
        "key.fill", "globe", "exclamationmark.triangle.fill", "server.rack", "wrench.and.screwdriver.fill",
        "envelope.fill", "gearshape.fill", "note.text", "person.crop.circle.fill", "display", "camera.fill",
        "antenna.radiowaves.left.and.right", "lock.fill", "checkmark.seal.fill", "creditcard.fill",
        "printer.fill", "envelope.badge.fill", "terminal.fill", "doc.text.fill", "list.bullet.clipboard.fill",
        "network", "archivebox.fill", "iphone", "banknote.fill", "shippingbox.fill", "desktopcomputer",
        "wifi", "clock.fill", "star.fill", "externaldrive.fill", "folder.fill", "folder.fill.badge.plus",
        "chart.bar.fill", "checkmark.circle.fill", "shield.lefthalf.filled", "person.2.fill", "car.fill",
        // views
        "magnifyingglass", "xmark.circle.fill", "eye", "eye.slash", "checkmark", "xmark", "plus",
        "ellipsis.circle", "lock", "lock.open", "square.stack.3d.up", "doc.on.clipboard", "doc.on.doc",
        "folder.badge.plus", "chevron.right", "arrow.up.arrow.down", "clock.badge.exclamationmark",
        "clock.badge.exclamationmark.fill", "pencil", "keyboard", "person", "key", "key.horizontal", "trash",
        "arrow.triangle.2.circlepath", "checkmark.shield.fill", "exclamationmark.shield.fill",
        "exclamationmark.triangle", "record.circle.fill", "command", "questionmark.folder", "lock.doc",
        "folder", "doc.badge.plus", "doc.badge.gearshape", "cpu", "externaldrive", "tray",
        "square.righthalf.filled"};
    for (const char* name : names) EXPECT_TRUE(Icons::isKnown(QString::fromLatin1(name))) << name;
}

TEST(Icons, EveryTableEntryIsAValidSvgInTheResources) {
    const QString placeholder = Icons::resourcePath(QStringLiteral("no.such.symbol"));
    for (const QString& name : Icons::symbolNames()) {
        const QString path = Icons::resourcePath(name);
        EXPECT_NE(path, placeholder) << name.toStdString();
        ASSERT_TRUE(QFile::exists(path)) << path.toStdString();
        EXPECT_TRUE(QSvgRenderer(path).isValid()) << path.toStdString();
    }
}

TEST(Icons, UnknownNameDrawsTheNeutralPlaceholder) {
    EXPECT_FALSE(Icons::isKnown(QStringLiteral("sparkles.rectangle.stack")));
    const QImage image =
        Icons::pixmap(QStringLiteral("sparkles.rectangle.stack"), 16, Palette::textSoft).toImage();
    EXPECT_EQ(image.size(), QSize(16, 16));
    EXPECT_GT(pixelsAt(image, Palette::textSoft), 0);
    EXPECT_TRUE(QFile::exists(Icons::resourcePath(QStringLiteral("sparkles.rectangle.stack"))));
}

TEST(Icons, GlyphsTakeTheRequestedColour) {
    const QColor colors[] = {Palette::accent, Palette::success, withOpacity(Palette::info, 0.5)};
    for (const QColor& color : colors) {
        const QImage image = Icons::pixmap(QStringLiteral("key.fill"), 20, color)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        int drawn = 0, foreign = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb px = image.pixel(x, y);
                // Faint edge pixels lose too much precision to compare their colour.
                if (qAlpha(px) < 48) continue;
                ++drawn;
                if (!probe::colorNear(QColor::fromRgb(px), color, 4) || qAlpha(px) > color.alpha() + 1)
                    ++foreign;
            }
        }
        EXPECT_GT(drawn, 40) << probe::hex(color);
        EXPECT_EQ(foreign, 0) << probe::hex(color);
    }
}

TEST(Icons, IconRendersAtEverySizeAndDimsWhenDisabled) {
    const QIcon icon = Icons::icon(QStringLiteral("plus"), Palette::accent);
    for (int size : {12, 16, 32}) {
        const QImage image = icon.pixmap(size).toImage();
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_GT(pixelsAt(image, Palette::accent), 0) << size;
    }
    const QImage disabled = icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
    EXPECT_EQ(pixelsAt(disabled, Palette::accent), 0);
    EXPECT_GT(pixelsAt(disabled, withOpacity(Palette::accent, 0.35)), 0);
}

TEST(Icons, HighDensityPixmapsKeepTheirLogicalSize) {
    const QPixmap pm = Icons::pixmap(QStringLiteral("eye"), 14, Palette::text, 2.0);
    EXPECT_EQ(pm.size(), QSize(28, 28));
    EXPECT_EQ(pm.devicePixelRatio(), 2.0);
}

namespace {

// The least and the greatest coverage (alpha, 0...255) of the pixels that the area `glyph`
// (in the 16-unit grid the icons are drawn on) touches in the symbol drawn `size` pixels wide.
std::pair<int, int> coverage(const QString& symbol, qreal size, const QRectF& glyph) {
    const QImage image =
        Icons::pixmap(symbol, size, Qt::white).toImage().convertToFormat(QImage::Format_ARGB32);
    const qreal scale = image.width() / 16.0;
    const QRect area(
        QPoint(int(std::floor(glyph.left() * scale)), int(std::floor(glyph.top() * scale))),
        QPoint(int(std::ceil(glyph.right() * scale)) - 1, int(std::ceil(glyph.bottom() * scale)) - 1));
    int least = 255, most = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            least = qMin(least, qAlpha(image.pixel(x, y)));
            most = qMax(most, qAlpha(image.pixel(x, y)));
        }
    }
    return {least, most};
}

}  // namespace

TEST(Icons, SmallFilledSymbolsKeepTheirCutOuts) {
    // Each cut-out at the size it is drawn at (a 22-point tile draws its glyph 10 wide), and a
    // solid part of the same glyph beside it.
    struct Case {
        const char* note;
        const char* symbol;
        qreal size;
        QRectF cutOut;
        QRectF solid;
    };
    const Case cases[] = {
        {"the search field's clear button: the cross",
         "xmark.circle.fill",
         12,
         {7.5, 7.5, 1, 1},
         {2, 7, 1.5, 2}},
        {"the status bar's warning: the '!'",
         "exclamationmark.triangle.fill",
         9,
         {7.6, 5.8, 0.8, 2.4},
         {3, 12, 2, 1.5}},
        {"the error banner's warning: the '!'",
         "exclamationmark.triangle.fill",
         12,
         {7.6, 5.8, 0.8, 2.4},
         {3, 12, 2, 1.5}},
        {"the expired-entry clock: its hand",
         "clock.badge.exclamationmark.fill",
         10,
         {7.6, 6, 0.8, 2},
         {3, 8, 2, 2}},
        {"the clock group icon: its hand", "clock.fill", 10.12, {7.1, 4.5, 0.8, 3}, {2, 6, 2, 4}},
        {"the terminal group icon: the underscore",
         "terminal.fill",
         10.12,
         {6.8, 8.6, 2.4, 0.8},
         {11, 3, 3, 3}},
        {"the envelope group icon: the flap's edge",
         "envelope.fill",
         10.12,
         {7.6, 8.6, 0.8, 0.8},
         {7, 11, 2, 2}},
    };
    for (const Case& c : cases) {
        const auto [cutLeast, cutMost] = coverage(QString::fromLatin1(c.symbol), c.size, c.cutOut);
        const auto [solidLeast, solidMost] = coverage(QString::fromLatin1(c.symbol), c.size, c.solid);
        EXPECT_LE(cutLeast, 255 * 0.45) << c.note;
        EXPECT_GE(solidMost, 255 * 0.95) << c.note;
    }
}

TEST(Icons, SmallOutlineSymbolsDrawSolidStrokes) {
    // Line glyphs drawn for 16 px with one-pixel strokes stay as dark as a medium-weight symbol
    // at the sizes the interface draws them.
    const std::pair<const char*, qreal> cases[] = {{"person", 10.56}, {"key", 10.56}, {"doc.on.clipboard", 9},
                                                   {"eye", 12},       {"lock", 11},   {"pencil", 13}};
    for (const auto& [symbol, size] : cases) {
        const auto [least, most] = coverage(QString::fromLatin1(symbol), size, QRectF(0, 0, 16, 16));
        EXPECT_GE(most, 255 * 0.85) << symbol << " at " << size;
    }
}
