#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

// The interface's symbol set: SVG icons in the resources, named by the symbol names the views
// use ("key.fill", "magnifyingglass", "eye.slash", ...) and drawn in any colour. A name that
// is not in the table draws a neutral placeholder instead of failing.
namespace Icons {

// Whether `symbol` has an icon of its own (otherwise the placeholder is drawn).
bool isKnown(const QString& symbol);

// Every symbol name of the table, sorted.
QStringList symbolNames();

// Resource path of the SVG drawn for `symbol`.
QString resourcePath(const QString& symbol);

// The symbol in `color` (its alpha included) fitted into a square of `size` device-independent
// pixels, rendered for `devicePixelRatio`.
QPixmap pixmap(const QString& symbol, qreal size, const QColor& color, qreal devicePixelRatio = 1.0);

// An icon that renders the symbol in `color` crisply at every size it is asked for.
QIcon icon(const QString& symbol, const QColor& color);

// Draws the symbol in `color`, fitted and centred into `rect`.
void paint(QPainter& painter, const QRectF& rect, const QString& symbol, const QColor& color);

}  // namespace Icons
