#pragma once

#include <QTreeView>

#include <QSet>

#include <memory>
#include <optional>

#include "Ombrix/UI/GroupRowDelegate.h"

class AppState;
class GroupTreeModel;
class QMenu;

// The tree of the sidebar. A click on a row selects its group (and clears the entry
// selection); a click on the chevron opens or closes it. Expansion is the groups' stored flag:
// the view follows it and reports its own changes through AppState::setGroupExpanded. Dropped
// plain text naming entries moves them into the group under the pointer. The view takes no
// keyboard focus, so the entry list keeps its keys while groups are clicked.
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
    // The group whose chevron was just clicked: its change is animated.
    std::optional<UUID> animating_;
    // Groups closed in the model whose rows are still fading out (their ids' text).
    QSet<QString> closing_;
};
