#include "OmbrixUI/GroupOutlineView.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>

#include "OmbrixState/AppState.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ContextMenuKey.h"
#include "OmbrixUI/EntryDrag.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/SlimScrollBar.h"

GroupOutlineView::GroupOutlineView(AppState& state, GroupTreeModel& model, QWidget* parent)
    : QTreeView(parent), state_(state), model_(model) {
    setModel(&model_);
    delegate_ = new GroupRowDelegate(interaction_, viewport(), this);
    setItemDelegate(delegate_);
    setHeaderHidden(true);
    setIndentation(0);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(true);
    setExpandsOnDoubleClick(false);
    setAnimated(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Reached with Tab; a click leaves the keyboard where it is.
    setFocusPolicy(Qt::TabFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
    setViewportMargins(0, 8, 0, 8);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Palette::surface);
    pal.setColor(QPalette::Window, Palette::surface);
    setPalette(pal);
    setAutoFillBackground(true);
    viewport()->setAutoFillBackground(true);
    makeSlim(verticalScrollBar());

    connect(&model_, &GroupTreeModel::expansionChanged, this, &GroupOutlineView::syncExpansion);
    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { reportExpansion(index, true); });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& index) { reportExpansion(index, false); });
    connect(&state_, &AppState::selectedGroupIDChanged, this, &GroupOutlineView::syncCurrent);
    syncExpansion();
}

// Keyboard.

void GroupOutlineView::syncCurrent() {
    const std::optional<UUID>& selected = state_.selectedGroupID();
    QModelIndex index = selected ? model_.indexOf(*selected) : QModelIndex();
    if (!index.isValid()) index = model_.index(0, 0);
    // A selected group inside a closed one stays hidden: the keys start from the nearest row
    // that shows (making the hidden row current would open its parents).
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        if (!isExpanded(up)) index = up;
    if (index == currentIndex()) return;
    QScopedValueRollback guard(syncingCurrent_, true);
    setCurrentIndex(index);
}

void GroupOutlineView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (syncingCurrent_ || syncing_) return;
    const std::optional<UUID> id = model_.groupID(current);
    if (!id) return;
    // As a click on the row: the group, with nothing of it selected yet.
    state_.setSelectedGroupID(*id);
    state_.setSelectedEntryIDs({});
}

void GroupOutlineView::setExpandedFromHere(const QModelIndex& index, bool expanded) {
    const std::optional<UUID> id = model_.groupID(index);
    if (!id) return;
    // As the chevron does it: the chevron turns and the rows fade.
    QScopedValueRollback guard(animating_, id);
    state_.setGroupExpanded(*id, expanded);
}

void GroupOutlineView::keyPressEvent(QKeyEvent* event) {
    const QModelIndex current = currentIndex();
    const std::optional<UUID> id = model_.groupID(current);
    const bool changeable = id && !current.data(GroupTreeModel::IsRootRole).toBool();
    const bool hasChildren = current.data(GroupTreeModel::HasChildrenRole).toBool();
    const bool expanded = current.data(GroupTreeModel::ExpandedRole).toBool();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;

    if (opensContextMenu(*event)) {
        if (current.isValid()) {
            const QRect row = visualRect(current);
            showContextMenu(current,
                            viewport()->mapToGlobal(QPoint(row.left() + row.height(), row.center().y())));
        }
        event->accept();
        return;
    }
    if (modifiers == Qt::NoModifier) {
        switch (event->key()) {
            case Qt::Key_F2:
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (changeable) state_.setRoute(Route::editGroup(*id));
                event->accept();
                return;
            case Qt::Key_Delete:
                if (changeable) state_.deleteGroup(*id);
                event->accept();
                return;
            case Qt::Key_Left:
                if (hasChildren && expanded)
                    setExpandedFromHere(current, false);
                else if (current.parent().isValid())
                    setCurrentIndex(current.parent());
                event->accept();
                return;
            case Qt::Key_Right:
                if (hasChildren && !expanded)
                    setExpandedFromHere(current, true);
                else if (hasChildren)
                    setCurrentIndex(model_.index(0, 0, current));
                event->accept();
                return;
            default:
                break;
        }
    }
    QTreeView::keyPressEvent(event);
}

// Expansion.

void GroupOutlineView::syncExpansion() {
    {
        QScopedValueRollback guard(syncing_, true);
        syncExpansionBelow(QModelIndex());
    }
    syncCurrent();
}

void GroupOutlineView::syncExpansionBelow(const QModelIndex& parent) {
    for (int row = 0; row < model_.rowCount(parent); ++row) {
        const QModelIndex index = model_.index(row, 0, parent);
        const bool expanded = index.data(GroupTreeModel::ExpandedRole).toBool();
        const QString key = index.data(GroupTreeModel::IdRole).toString();
        const bool animate =
            animating_ && model_.groupID(index) == animating_ && Motion::isEnabled() && isVisible();
        if (isExpanded(index) != expanded) {
            if (expanded) {
                setExpanded(index, true);
                if (animate) fadeChildRows(index, 0, 1);
            } else if (animate && !closing_.contains(key)) {
                // The rows fade where they are; the group folds when they have gone.
                if (MotionValue* last = fadeChildRows(index, std::nullopt, 0)) {
                    closing_.insert(key);
                    connect(last, &MotionValue::finished, this, [this, key] { finishClosing(key); });
                } else {
                    setExpanded(index, false);
                }
            } else if (!closing_.contains(key)) {
                setExpanded(index, false);
            }
        } else if (expanded && closing_.remove(key)) {
            // Opened again while its rows were fading out: they come back from where they are.
            fadeChildRows(index, std::nullopt, 1);
        }
        syncExpansionBelow(index);
    }
}

MotionValue* GroupOutlineView::fadeChildRows(const QModelIndex& parent, std::optional<qreal> from, qreal to) {
    MotionValue* last = nullptr;
    if (!isExpanded(parent)) return last;
    for (int row = 0; row < model_.rowCount(parent); ++row) {
        const QModelIndex index = model_.index(row, 0, parent);
        const QString key = index.data(GroupTreeModel::IdRole).toString();
        last = delegate_->presence().start(key, from.value_or(delegate_->presence().value(key, 1)), to);
        if (MotionValue* deeper = fadeChildRows(index, from, to)) last = deeper;
    }
    return last;
}

void GroupOutlineView::finishClosing(const QString& key) {
    if (!closing_.remove(key)) return;
    const std::optional<UUID> id = UUID::fromString(key.toStdString());
    const QModelIndex index = id ? model_.indexOf(*id) : QModelIndex();
    if (!index.isValid()) return;
    if (!index.data(GroupTreeModel::ExpandedRole).toBool()) {
        QScopedValueRollback guard(syncing_, true);
        setExpanded(index, false);
    }
    restoreChildRows(index);
}

void GroupOutlineView::restoreChildRows(const QModelIndex& parent) {
    for (int row = 0; row < model_.rowCount(parent); ++row) {
        const QModelIndex index = model_.index(row, 0, parent);
        delegate_->presence().jump(index.data(GroupTreeModel::IdRole).toString(), 1);
        restoreChildRows(index);
    }
}

void GroupOutlineView::reportExpansion(const QModelIndex& index, bool expanded) {
    if (syncing_) return;
    const std::optional<UUID> id = model_.groupID(index);
    if (id && index.data(GroupTreeModel::ExpandedRole).toBool() != expanded)
        state_.setGroupExpanded(*id, expanded);
}

// Pointer.

void GroupOutlineView::setHovered(const QModelIndex& index) {
    const std::optional<UUID> id = model_.groupID(index);
    if (id == interaction_.hovered) return;
    interaction_.hovered = id;
    viewport()->update();
}

bool GroupOutlineView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) setHovered(QModelIndex());
    return QTreeView::viewportEvent(event);
}

void GroupOutlineView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    setHovered(index);
    event->accept();
    if (event->button() != Qt::LeftButton || !index.isValid()) return;
    const UUID id = *model_.groupID(index);
    const GroupRowDelegate::Layout l = GroupRowDelegate::layout(visualRect(index), index);
    if (index.data(GroupTreeModel::HasChildrenRole).toBool() && l.chevron.contains(pos)) {
        QScopedValueRollback guard(animating_, std::optional<UUID>(id));
        state_.setGroupExpanded(id, !index.data(GroupTreeModel::ExpandedRole).toBool());
        return;
    }
    state_.setSelectedGroupID(id);
    state_.setSelectedEntryIDs({});
}

void GroupOutlineView::mouseMoveEvent(QMouseEvent* event) {
    setHovered(indexAt(event->position().toPoint()));
    event->accept();
}

void GroupOutlineView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void GroupOutlineView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A second click is another click: it neither opens the group nor edits it.
    mousePressEvent(event);
}

// Context menu.

std::unique_ptr<QMenu> GroupOutlineView::makeContextMenu(const QModelIndex& index) {
    auto menu = std::make_unique<QMenu>(this);
    const std::optional<UUID> found = model_.groupID(index);
    if (!found) return menu;
    const UUID id = *found;
    const bool isRoot = index.data(GroupTreeModel::IsRootRole).toBool();
    AppState& state = state_;

    menu->addAction(QStringLiteral("Yeni kayıt"), [&state, id] { state.setRoute(Route::newEntry(id)); });
    menu->addAction(QStringLiteral("Yeni alt grup"), [&state, id] { state.setRoute(Route::newGroup(id)); });
    menu->addSeparator();
    QAction* edit = menu->addAction(QStringLiteral("Grubu düzenle"),
                                    [&state, id] { state.setRoute(Route::editGroup(id)); });
    edit->setEnabled(!isRoot);
    QAction* remove = menu->addAction(QStringLiteral("Grubu sil"), [&state, id] { state.deleteGroup(id); });
    remove->setEnabled(!isRoot);
    if (index.data(GroupTreeModel::HasChildrenRole).toBool()) {
        const bool expanded = index.data(GroupTreeModel::ExpandedRole).toBool();
        menu->addSeparator();
        // From the menu the change shows at once, chevron included.
        const QString key = index.data(GroupTreeModel::IdRole).toString();
        QPointer<GroupRowDelegate> delegate = delegate_;
        menu->addAction(expanded ? QStringLiteral("Daralt") : QStringLiteral("Genişlet"),
                        [&state, id, expanded, key, delegate] {
                            state.setGroupExpanded(id, !expanded);
                            if (delegate) delegate->turn().jump(key, expanded ? 0 : 1);
                        });
    }
    return menu;
}

void GroupOutlineView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index =
        event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
    if (!index.isValid()) {
        event->ignore();
        return;
    }
    showContextMenu(index, event->globalPos());
}

void GroupOutlineView::showContextMenu(const QModelIndex& index, const QPoint& globalPos) {
    std::unique_ptr<QMenu> menu = makeContextMenu(index);
    // The menu is our child: if an action took the tree down with it, the menu went too.
    const QPointer<QMenu> alive = menu.get();
    menu->exec(globalPos);
    if (!alive) menu.release();
}

// Dropped entries.

void GroupOutlineView::setDropTarget(const QModelIndex& index) {
    const std::optional<UUID> id = model_.groupID(index);
    if (id == interaction_.dropTarget) return;
    interaction_.dropTarget = id;
    viewport()->update();
}

void GroupOutlineView::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData() || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    dragMoveEvent(event);
}

void GroupOutlineView::dragMoveEvent(QDragMoveEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    // A row takes any text while it is over it; the drop refuses text that names no entry.
    if (index.isValid() && event->mimeData() && event->mimeData()->hasText()) {
        setDropTarget(index);
        event->acceptProposedAction();
    } else {
        setDropTarget(QModelIndex());
        event->ignore();
    }
}

void GroupOutlineView::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropTarget(QModelIndex());
    event->accept();
}

void GroupOutlineView::dropEvent(QDropEvent* event) {
    setDropTarget(QModelIndex());
    const std::optional<UUID> group = model_.groupID(indexAt(event->position().toPoint()));
    const std::set<UUID> ids = EntryDrag::parse(event->mimeData());
    if (!group || ids.empty()) {
        event->ignore();
        return;
    }
    state_.moveEntriesToGroup(ids, *group);
    event->acceptProposedAction();
}
