#include "OmbrixUI/FloppyDiskIcon.h"

#include <QPainter>

#include "OmbrixTheme/Painting.h"

FloppyDiskIcon::Geometry FloppyDiskIcon::geometry(const QRectF& square) {
    const qreal s = square.width();
    const qreal lw = qMax(s * 0.085, 1.0);
    const qreal half = lw * 0.5;
    const QPointF c = square.center();
    auto centred = [&c](qreal w, qreal h, qreal dy) {
        return QRectF(c.x() - w / 2, c.y() + dy - h / 2, w, h);
    };
    return Geometry{lw,
                    square.adjusted(half, half, -half, -half),
                    s * 0.22,
                    centred(s * 0.30, s * 0.26, -s * 0.24),
                    centred(s * 0.52, s * 0.32, s * 0.22),
                    lw * 0.4};
}

QPainterPath FloppyDiskIcon::bodyPath(const QRectF& rect, qreal corner) {
    QPainterPath path;
    path.moveTo(rect.left(), rect.top());
    path.lineTo(rect.right() - corner, rect.top());
    path.lineTo(rect.right(), rect.top() + corner);
    path.lineTo(rect.right(), rect.bottom());
    path.lineTo(rect.left(), rect.bottom());
    path.closeSubpath();
    return path;
}

void FloppyDiskIcon::paint(QPainter& painter, const QRectF& square, const QColor& color) {
    const Geometry g = geometry(square);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    QPen body(color, g.lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
    body.setMiterLimit(10);
    painter.setPen(body);
    painter.drawPath(bodyPath(g.body, g.corner));
    painter.setPen(QPen(color, g.lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawPath(Painting::roundedPath(g.shutter, g.innerRadius));
    painter.drawPath(Painting::roundedPath(g.label, g.innerRadius));
    painter.restore();
}

FloppyDiskIcon::FloppyDiskIcon(qreal size, QWidget* parent) : QWidget(parent), size_(size) {
    setFixedSize(qRound(size), qRound(size));
}

void FloppyDiskIcon::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, QRectF(0, 0, size_, size_), palette().color(foregroundRole()));
}
