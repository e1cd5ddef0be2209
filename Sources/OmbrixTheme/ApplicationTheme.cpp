#include "OmbrixTheme/ApplicationTheme.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"

namespace {

// Fusion with the interface's own touches on what it draws for us.
class OmbrixStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        // Fusion frames a tool tip in its text colour, a bright line on the dark theme; the tip
        // is a raised surface with the quiet border of the other raised surfaces.
        if (element == PE_PanelTipLabel) {
            painter->fillRect(option->rect, Palette::elevated);
            painter->setPen(Palette::lineStrong);
            painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        // Fusion darkens the window colour for a menu separator, which all but vanishes on the
        // dark canvas; it gets the same quiet border as the raised surfaces.
        if (element == CE_MenuItem) {
            const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
            if (item && item->menuItemType == QStyleOptionMenuItem::Separator && item->text.isEmpty()) {
                const QRect& r = option->rect;
                const int y = r.top() + r.height() / 2;
                painter->fillRect(QRect(r.left() + 6, y, r.width() - 12, 1), Palette::lineStrong);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

}  // namespace

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
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(new OmbrixStyle(fusion));
    const QPalette pal = palette();
    app.setPalette(pal);
    QToolTip::setPalette(pal);
    app.setFont(BrandFont::bodyText());
    QToolTip::setFont(BrandFont::secondary());
}

}  // namespace ApplicationTheme
