#include "OmbrixUI/GroupRowDelegate.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

#include "OmbrixState/BrandNumber.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/IconTile.h"

namespace {

constexpr qreal sideInset = 8;  // the tree's own inset left and right
constexpr qreal rowGap = 1;
constexpr qreal padY = 5;
constexpr qreal padRight = 8;
constexpr qreal chevronSlot = 12;
constexpr qreal chevronGlyph = 9;
constexpr qreal tileSize = 22;
constexpr qreal spacing = 6;

QFont nameFont(bool selected) {
    return BrandFont::body(12, selected ? QFont::DemiBold : QFont::Normal);
}
QFont countFont() {
    return BrandFont::body(10, QFont::Normal);
}

}  // namespace

GroupRowDelegate::GroupRowDelegate(const Interaction& interaction, QWidget* view, QObject* parent)
    : QStyledItemDelegate(parent),
      interaction_(interaction),
      hover_(view),
      selection_(view),
      presence_(view),
      turn_(view) {}

int GroupRowDelegate::rowHeight() {
    const qreal text = QFontMetricsF(nameFont(true)).height();
    return qCeil(qMax(tileSize, text) + 2 * padY + rowGap);
}

qreal GroupRowDelegate::indent(int depth) {
    return 4 + qMin(qMax(depth, 0), 4) * 12;
}

GroupRowDelegate::Layout GroupRowDelegate::layout(const QRect& rowRect, const QModelIndex& index) {
    Layout l;
    l.background = QRectF(rowRect).adjusted(sideInset, 0, -sideInset, -rowGap);
    const QRectF inner =
        l.background.adjusted(indent(index.data(GroupTreeModel::DepthRole).toInt()), padY, -padRight, -padY);
    const qreal midY = inner.center().y();
    l.chevron = QRectF(inner.left(), inner.top(), chevronSlot, inner.height());
    l.tile = QRectF(l.chevron.right() + spacing, midY - tileSize / 2, tileSize, tileSize);

    const bool selected = index.data(GroupTreeModel::SelectedRole).toBool();
    const QFontMetricsF nameMetrics(nameFont(selected));
    const qreal left = l.tile.right() + spacing;
    const qreal available = qMax<qreal>(0, inner.right() - left);
    // The name keeps its width first; the count takes what is left after a gap of at least 4.
    const qreal nameWidth =
        qMin(nameMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()), available);
    l.name = QRectF(left, midY - nameMetrics.height() / 2, nameWidth, nameMetrics.height());
    const qreal countWidth = qMax<qreal>(0, available - nameWidth - 4);
    const qreal countHeight = QFontMetricsF(countFont()).height();
    l.count = QRectF(inner.right() - countWidth, midY - countHeight / 2, countWidth, countHeight);
    return l;
}

QSize GroupRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width() > 0 ? option.rect.width() : 200, rowHeight());
}

void GroupRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QPainter& p = *painter;
    const QString key = index.data(GroupTreeModel::IdRole).toString();
    const qreal shown = presence_.value(key, 1);
    if (shown <= 0) return;
    p.save();
    p.setOpacity(p.opacity() * shown);
    p.setRenderHint(QPainter::Antialiasing);
    const Layout l = layout(option.rect, index);
    const UUID id = *UUID::fromString(key.toStdString());
    const bool selected = index.data(GroupTreeModel::SelectedRole).toBool();
    const bool dropTargeted = interaction_.dropTarget == id;
    const qreal selecting = selection_.follow(key, selected ? 1 : 0);
    const qreal hovering = hover_.follow(key, interaction_.hovered == id ? 1 : 0);

    // Selection over a held drag over the pointer's fill; the drag's fill comes and goes at once.
    const QColor under = dropTargeted
                             ? withOpacity(Palette::accent, 0.12)
                             : Painting::blend(withOpacity(Palette::hover, 0), Palette::hover, hovering);
    Painting::fill(p, l.background, Radius::control, Painting::blend(under, Palette::selection, selecting));
    if (dropTargeted) Painting::hairline(p, l.background, Palette::accent, Radius::control);
    // The row the tree's keys act on, while the tree has the keyboard.
    if (option.state & QStyle::State_HasFocus) Painting::focusRing(p, l.background, Radius::control, 1);

    if (index.data(GroupTreeModel::HasChildrenRole).toBool()) {
        const QPointF c = l.chevron.center();
        p.save();
        p.translate(c);
        p.rotate(90 * turn_.follow(key, index.data(GroupTreeModel::ExpandedRole).toBool() ? 1 : 0));
        Icons::paint(p, QRectF(-chevronGlyph / 2, -chevronGlyph / 2, chevronGlyph, chevronGlyph),
                     QStringLiteral("chevron.right"), Palette::textMuted);
        p.restore();
    }

    IconTile::paint(p, l.tile, index.data(GroupTreeModel::IconIDRole).toLongLong(),
                    selected ? Palette::accent : Palette::textSoft);

    const QFont font = nameFont(selected);
    p.setFont(font);
    p.setPen(selected ? Palette::text : Palette::textSoft);
    p.drawText(l.name, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               QFontMetricsF(font).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle,
                                              l.name.width()));

    const qint64 count = index.data(GroupTreeModel::EntryCountRole).toLongLong();
    if (count > 0 && l.count.width() > 0) {
        p.setFont(countFont());
        p.setPen(Palette::textMuted);
        // Digits of equal width, so that the counts line up in their column.
        const QString text = brandCount(count);
        if (Painting::tabularWidth(QFontMetricsF(countFont()), text) <= l.count.width())
            Painting::drawTabular(p, l.count, Qt::AlignRight, text);
    }
    p.restore();
}
