#pragma once

#include <QTreeView>

#include <memory>

#include "Ombrix/UI/GroupRowDelegate.h"

class AppState;
class GroupTreeModel;
class QMenu;

// The tree of the sidebar. A click on a row selects its group (and clears the entry
// selection); a click on the chevron opens or closes it. Expansion is the groups' stored flag:
// the view follows it and reports its own changes through AppState::setGroupExpanded. Dropped
// plain text naming entries moves them into the group under the pointer. The view takes no
// keyboard focus, so the entry list keeps its keys while groups are clicked.
class GroupOutlineView : public QTreeView {
    Q_OBJECT

  public:
    GroupOutlineView(AppState& state, GroupTreeModel& model, QWidget* parent = nullptr);

    GroupTreeModel& groups() const { return model_; }
    const GroupRowDelegate::Interaction& interaction() const { return interaction_; }

    // The context menu of a group row; the caller owns it.
    std::unique_ptr<QMenu> makeContextMenu(const QModelIndex& index);

  protected:
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
    void syncExpansion();
    void syncExpansionBelow(const QModelIndex& parent);
    void reportExpansion(const QModelIndex& index, bool expanded);
    void setHovered(const QModelIndex& index);
    void setDropTarget(const QModelIndex& index);

    AppState& state_;
    GroupTreeModel& model_;
    GroupRowDelegate::Interaction interaction_;
    bool syncing_ = false;
};
