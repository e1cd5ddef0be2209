#pragma once

#include <QTreeView>

#include <QSet>

#include <memory>
#include <optional>

#include "OmbrixUI/GroupRowDelegate.h"

class AppState;
class GroupTreeModel;
class QMenu;

// The tree of the sidebar. A click on a row selects its group (and clears the entry
// selection); a click on the chevron opens or closes it. Expansion is the groups' stored flag:
// the view follows it and reports its own changes through AppState::setGroupExpanded. Dropped
// plain text naming entries moves them into the group under the pointer.
//
// Tab brings the keyboard into the tree (a click does not take it, so the entry list keeps its
// keys while groups are clicked); the selected group's row then wears the focus ring. Keys:
// Up, Down, Home, End, Page Up and Page Down select another group; Left closes an open group,
// else goes to the parent; Right opens a closed group, else goes to the first subgroup; F2,
// Return and Enter edit the group; Delete deletes it (neither for the root); the Menu key and
// Shift+F10 open the row's context menu at the row.
//
// Opened or closed with its chevron, a group's chevron turns and its child rows fade in or out
// with the theme's motion (a closing group folds once its rows have faded); the context menu's
// items act at once.
class GroupOutlineView : public QTreeView {
    Q_OBJECT

  public:
    GroupOutlineView(AppState& state, GroupTreeModel& model, QWidget* parent = nullptr);

    GroupTreeModel& groups() const { return model_; }
    const GroupRowDelegate::Interaction& interaction() const { return interaction_; }

    // The context menu of a group row; the caller owns it.
    std::unique_ptr<QMenu> makeContextMenu(const QModelIndex& index);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Makes the selected group's row (the root's when none is selected) the current one.
    void syncCurrent();
    void setExpandedFromHere(const QModelIndex& index, bool expanded);
    void showContextMenu(const QModelIndex& index, const QPoint& globalPos);
    void syncExpansion();
    void syncExpansionBelow(const QModelIndex& parent);
    void reportExpansion(const QModelIndex& index, bool expanded);
    // Starts the rows shown below `parent` fading from `from` (else from where they are) to `to`;
    // returns the last one's transition (none when no row is shown below it).
    MotionValue* fadeChildRows(const QModelIndex& parent, std::optional<qreal> from, qreal to);
    void finishClosing(const QString& key);
    // Sets every row below `parent`, shown or not, back to full opacity.
    void restoreChildRows(const QModelIndex& parent);
    void setHovered(const QModelIndex& index);
    void setDropTarget(const QModelIndex& index);

    AppState& state_;
    GroupTreeModel& model_;
    GroupRowDelegate::Interaction interaction_;
    GroupRowDelegate* delegate_;
    bool syncing_ = false;
    bool syncingCurrent_ = false;
    // The group whose chevron was just clicked: its change is animated.
    std::optional<UUID> animating_;
    // Groups closed in the model whose rows are still fading out (their ids' text).
    QSet<QString> closing_;
};
