#pragma once

#include <QStyledItemDelegate>

#include <optional>

#include "OmbrixCore/Kdbx/UUID.h"

// Paints one group row of the sidebar tree (GroupTreeModel's roles): the expansion chevron in a
// 12-wide slot (empty for a group without subgroups), the icon tile, the name and the count of
// entries in the group's whole subtree, indented 12 per level down to the fourth. The fill shows
// the selection, a drag held over the row (with an accent border) or the pointer.
class GroupRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    struct Interaction {
        std::optional<UUID> hovered;
        std::optional<UUID> dropTarget;
    };

    struct Layout {
        QRectF background;
        QRectF chevron;  // the slot; clicks anywhere in it toggle the expansion
        QRectF tile;
        QRectF name;
        QRectF count;
    };

    explicit GroupRowDelegate(const Interaction& interaction, QObject* parent = nullptr);

    static int rowHeight();
    // The left inset of a row's content at `depth`: 4, then 12 per level, at most four levels.
    static qreal indent(int depth);
    static Layout layout(const QRect& rowRect, const QModelIndex& index);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    const Interaction& interaction_;
};
