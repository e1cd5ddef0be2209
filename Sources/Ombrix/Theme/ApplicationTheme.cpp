#include "Ombrix/Theme/ApplicationTheme.h"

#include <QApplication>
#include <QStyleFactory>
#include <QToolTip>

#include "Ombrix/Theme/BrandFont.h"
#include "Ombrix/Theme/Palette.h"

namespace ApplicationTheme {

QPalette palette() {
    QPalette pal;
    const auto set = [&pal](QPalette::ColorRole role, const QColor& color) {
        pal.setColor(QPalette::All, role, color);
    };
    set(QPalette::Window, Palette::canvas);
    set(QPalette::WindowText, Palette::text);
    set(QPalette::Base, Palette::canvas);
    set(QPalette::AlternateBase, Palette::surface);
    set(QPalette::ToolTipBase, Palette::elevated);
    set(QPalette::ToolTipText, Palette::text);
    set(QPalette::PlaceholderText, Palette::textMuted);
    set(QPalette::Text, Palette::text);
    set(QPalette::Button, Palette::elevated);
    set(QPalette::ButtonText, Palette::text);
    set(QPalette::BrightText, Palette::text);
    // Fusion shades bevels and scroll-bar grooves from these five.
    set(QPalette::Light, Palette::lineStrong);
    set(QPalette::Midlight, Palette::line);
    set(QPalette::Mid, Palette::line);
    set(QPalette::Dark, Palette::canvas);
    set(QPalette::Shadow, Qt::black);
    set(QPalette::Highlight, Palette::accent);
    set(QPalette::HighlightedText, accentInk);
    set(QPalette::Link, Palette::accent);
    set(QPalette::LinkVisited, Palette::accentHover);

    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
        pal.setColor(QPalette::Disabled, role, Palette::textMuted);
    pal.setColor(QPalette::Disabled, QPalette::Highlight, Palette::line);
    pal.setColor(QPalette::Disabled, QPalette::HighlightedText, Palette::textMuted);
    return pal;
}

void apply(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    const QPalette pal = palette();
    app.setPalette(pal);
    QToolTip::setPalette(pal);
    app.setFont(BrandFont::bodyText());
    QToolTip::setFont(BrandFont::secondary());
}

}  // namespace ApplicationTheme
