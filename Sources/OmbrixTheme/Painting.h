#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QFontMetricsF;
class QPainter;
class QString;
class QWidget;

// Drawing of the interface's framed surfaces. Every frame is a rounded rectangle whose border
// lies inside its bounds, so borders and focus rings never make a control larger.
namespace Painting {

// A rounded rectangle; the radius is limited to half the shorter side, so Radius::pill gives
// a capsule.
QPainterPath roundedPath(const QRectF& rect, qreal radius);

// Fills the rounded rectangle `bounds` of `radius`.
void fill(QPainter& painter, const QRectF& bounds, qreal radius, const QColor& color);

// Strokes the rounded rectangle `bounds` of `radius` inside its edge: the outer edge of the
// line follows `bounds`, the line is `width` wide.
void hairline(QPainter& painter, const QRectF& bounds, const QColor& color, qreal radius, qreal width = 1.0);

// The keyboard-focus ring: accent at opacity 0.35, 3 wide, inside `bounds`; `visibility`
// (0...1) fades it. On a fill of the accent itself (a primary button, a switch that is on),
// where the accent would vanish, it is the light text colour instead.
void focusRing(QPainter& painter, const QRectF& bounds, qreal radius, qreal visibility,
               const QColor& fill = Qt::transparent);
// Whether `fill` is the accent, or near enough that an accent ring on it could not be seen.
bool isAccentFill(const QColor& fill);

// The colour `t` (0...1) of the way from `from` to `to`, mixed premultiplied so that a fade
// from transparent shows no dark fringe.
QColor blend(const QColor& from, const QColor& to, qreal t);

// Tabular figures: every digit takes the advance of the font's widest one (and is centred in
// it), so that a number changing from 11 to 10 leaves the text around it where it was and
// numbers in a column line up. The text family's digits are proportional, and Qt offers no
// switch to its tabular ones.
qreal tabularWidth(const QFontMetricsF& metrics, const QString& text);
// Draws `text` so, in the painter's font and pen, starting at `x` on the baseline `baseline`.
void drawTabular(QPainter& painter, qreal x, qreal baseline, const QString& text);
// Draws `text` so, on one line inside `rect`, aligned left, right or centred horizontally and
// centred vertically as `alignment` says.
void drawTabular(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text);

// Makes `widget` fill its own background with `color` (its window colour), so that it is opaque
// under its children.
void fillBackground(QWidget* widget, const QColor& color);

// Gives `widget` a soft drop shadow. Level 1 is light (black at 0.22, blur 8, 2 down); any
// other level is strong (black at 0.34, blur 20, 8 down). The shadow is drawn outside the
// widget, so its parent needs room around it.
void softShadow(QWidget* widget, int level);

}  // namespace Painting
