#include "OmbrixUI/FlowRow.h"

#include <QWidget>

#include <algorithm>

QSizeF FlowRow::measure(std::span<const QSizeF> sizes, std::optional<qreal> proposedWidth, qreal spacing,
                        qreal lineSpacing) {
    qreal x = 0, y = 0, lineHeight = 0;
    for (const QSizeF& size : sizes) {
        if (proposedWidth && x > 0 && x + size.width() > *proposedWidth) {
            y += lineHeight + lineSpacing;
            x = 0;
            lineHeight = 0;
        }
        x += size.width() + spacing;
        lineHeight = std::max(lineHeight, size.height());
    }
    const qreal width = proposedWidth ? *proposedWidth : std::max<qreal>(0, x - spacing);
    return QSizeF(width, y + lineHeight);
}

std::vector<QPointF> FlowRow::place(const QRectF& bounds, std::span<const QSizeF> sizes, qreal spacing,
                                    qreal lineSpacing) {
    std::vector<QPointF> origins;
    origins.reserve(sizes.size());
    qreal x = bounds.left(), y = bounds.top(), lineHeight = 0;
    for (const QSizeF& size : sizes) {
        if (x + size.width() > bounds.right() && x > bounds.left()) {
            x = bounds.left();
            y += lineHeight + lineSpacing;
            lineHeight = 0;
        }
        origins.emplace_back(x, y);
        x += size.width() + spacing;
        lineHeight = std::max(lineHeight, size.height());
    }
    return origins;
}

FlowRow::FlowRow(qreal spacing, qreal lineSpacing, QWidget* parent)
    : QLayout(parent), spacing_(spacing), lineSpacing_(lineSpacing) {
    setContentsMargins(0, 0, 0, 0);
}

FlowRow::~FlowRow() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

void FlowRow::addItem(QLayoutItem* item) {
    items_.append(item);
    invalidate();
}

int FlowRow::count() const {
    return int(items_.size());
}

QLayoutItem* FlowRow::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* FlowRow::takeAt(int index) {
    if (index < 0 || index >= items_.size()) return nullptr;
    QLayoutItem* item = items_.takeAt(index);
    invalidate();
    return item;
}

std::vector<QSizeF> FlowRow::visibleSizes() const {
    std::vector<QSizeF> sizes;
    sizes.reserve(items_.size());
    for (QLayoutItem* item : items_)
        if (!item->isEmpty()) sizes.emplace_back(item->sizeHint());
    return sizes;
}

// A row given any finite width claims all of it.
Qt::Orientations FlowRow::expandingDirections() const {
    return Qt::Horizontal;
}

int FlowRow::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    const std::vector<QSizeF> sizes = visibleSizes();
    const QSizeF size =
        measure(sizes, qreal(std::max(0, width - m.left() - m.right())), spacing_, lineSpacing_);
    return qCeil(size.height()) + m.top() + m.bottom();
}

QSize FlowRow::sizeHint() const {
    const QMargins m = contentsMargins();
    const std::vector<QSizeF> sizes = visibleSizes();
    const QSizeF size = measure(sizes, std::nullopt, spacing_, lineSpacing_);
    return QSize(qCeil(size.width()), qCeil(size.height())) +
           QSize(m.left() + m.right(), m.top() + m.bottom());
}

// Items are never shrunk, so the row asks for the width of its widest item; anything narrower
// would push that item past the edge.
QSize FlowRow::minimumSize() const {
    const QMargins m = contentsMargins();
    QSizeF widest(0, 0);
    for (const QSizeF& size : visibleSizes()) widest = widest.expandedTo(size);
    return QSize(qCeil(widest.width()), qCeil(widest.height())) +
           QSize(m.left() + m.right(), m.top() + m.bottom());
}

void FlowRow::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const QRect area = contentsRect();
    std::vector<QLayoutItem*> visible;
    std::vector<QSizeF> sizes;
    for (QLayoutItem* item : items_) {
        if (item->isEmpty()) continue;
        visible.push_back(item);
        sizes.emplace_back(item->sizeHint());
    }
    const std::vector<QPointF> origins = place(QRectF(area), sizes, spacing_, lineSpacing_);
    for (std::size_t i = 0; i < visible.size(); ++i)
        visible[i]->setGeometry(
            QRect(QPoint(qRound(origins[i].x()), qRound(origins[i].y())), sizes[i].toSize()));
}
