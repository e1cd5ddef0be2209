#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QWidget>

class QPainter;

// The save symbol, drawn as lines: a disk body with its top-right corner cut off at 45°, the
// shutter near the top and the label near the bottom. It strokes in the widget's foreground
// colour (QPalette::WindowText), so the caller colours it like text. The widget is
// `size` × `size`.
class FloppyDiskIcon : public QWidget {
    Q_OBJECT

  public:
    // Where the three outlines go in a square of side s.
    struct Geometry {
        qreal lineWidth;    // max(0.085 s, 1)
        QRectF body;        // the square inset by half a line on every side
        qreal corner;       // the cut of the body's top-right corner, 0.22 s
        QRectF shutter;     // 0.30 s × 0.26 s, centred 0.24 s above the middle
        QRectF label;       // 0.52 s × 0.32 s, centred 0.22 s below the middle
        qreal innerRadius;  // corner radius of shutter and label, 0.4 of the line width
    };

    static Geometry geometry(const QRectF& square);

    // The body outline in `rect`: square corners except the top-right one, cut by `corner`.
    static QPainterPath bodyPath(const QRectF& rect, qreal corner);

    // Draws the symbol into `square` with lines of `color`.
    static void paint(QPainter& painter, const QRectF& square, const QColor& color);

    explicit FloppyDiskIcon(qreal size, QWidget* parent = nullptr);

    qreal side() const { return size_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qreal size_;
};
