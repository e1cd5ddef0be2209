#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include "Ombrix/Theme/Icons.h"
#include "Ombrix/Theme/Palette.h"
#include "WidgetProbe.h"

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
