#pragma once

#include <QStyledItemDelegate>

#include <optional>

#include "OmbrixCore/Kdbx/UUID.h"
#include "OmbrixTheme/Motion.h"

// Paints one group row of the sidebar tree (GroupTreeModel's roles): the expansion chevron in a
// 12-wide slot (empty for a group without subgroups), the icon tile, the name and the count of
// entries in the group's whole subtree, indented 12 per level down to the fourth. The fill shows
// the selection, a drag held over the row (with an accent border) or the pointer. The hover and
// selection fills and the chevron's turn follow their state with the theme's motion; a row's
// presence (its opacity) is moved by the tree when it opens or closes a group. The row the
// tree's keys act on wears the focus ring while the tree has the keyboard.
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

    // `view` is the widget the rows are painted on, repainted while a transition runs.
    GroupRowDelegate(const Interaction& interaction, QWidget* view, QObject* parent = nullptr);

    static int rowHeight();
    // The left inset of a row's content at `depth`: 4, then 12 per level, at most four levels.
    static qreal indent(int depth);
    static Layout layout(const QRect& rowRect, const QModelIndex& index);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Per group id (the IdRole text): the row's opacity (1 unless the tree fades it) and the
    // chevron's quarter turn (0 pointing right ... 1 pointing down).
    MotionSet& presence() const { return presence_; }
    MotionSet& turn() const { return turn_; }

  private:
    const Interaction& interaction_;
    mutable MotionSet hover_;
    mutable MotionSet selection_;
    mutable MotionSet presence_;
    mutable MotionSet turn_;
};
