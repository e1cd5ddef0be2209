#include "OmbrixUI/EntryList.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDrag>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <functional>

#include "OmbrixState/AppState.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ContextMenuKey.h"
#include "OmbrixUI/EntryDrag.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/SlimScrollBar.h"
#include "OmbrixUI/Tooltip.h"

namespace {

bool isReturn(const QKeyEvent* event) {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier;
}

bool isEscape(const QKeyEvent* event) {
    return event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
}

bool isDelete(const QKeyEvent* event) {
    return event->key() == Qt::Key_Delete && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// The group or search the rows come from: a reset within the same one keeps the scroll place.
QString listedContext(const AppState& state) {
    if (state.isSearching()) return QStringLiteral("search:") + state.searchText();
    if (state.selectedGroupID()) return QString::fromStdString(state.selectedGroupID()->uuidString());
    return QStringLiteral("root");
}

// Near an edge during a drag the list scrolls by this much per move.
constexpr int dragScrollMargin = 20;
constexpr int dragScrollStep = 12;

}  // namespace

EntryList::EntryList(AppState& state, EntryListModel& model, QWidget* parent)
    : QListView(parent),
      state_(state),
      model_(model),
      delegate_(new EntryRowDelegate(interaction_, viewport(), this)) {
    setModel(&model_);
    setItemDelegate(delegate_);
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    // Rows span the column's width, so they are laid out again whenever it changes.
    setResizeMode(QListView::Adjust);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Palette::canvas);
    pal.setColor(QPalette::Window, Palette::canvas);
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
    makeSlim(verticalScrollBar());

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &EntryList::pushSelectionToState);
    connect(&state_, &AppState::selectedEntryIDsChanged, this, &EntryList::applySelectionFromState);
    connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        applyingSelection_ = true;
        scrollBeforeReset_ = verticalScrollBar()->value();
    });
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
        applyingSelection_ = false;
        // The same group or search keeps its place; another one opens at its first row.
        const QString context = listedContext(state_);
        executeDelayedItemsLayout();
        verticalScrollBar()->setValue(context == listedContext_ ? scrollBeforeReset_ : 0);
        listedContext_ = context;
        interaction_.pressedRow = -1;
        interaction_.pressedButton.reset();
        interaction_.dropRow = -1;
        dragRow_ = -1;
        applySelectionFromState();
    });
    // Another group or search with the very same rows does not reset them, and opens at the
    // top all the same.
    connect(&model_, &EntryListModel::refreshed, this, [this] {
        const QString context = listedContext(state_);
        if (context == listedContext_) return;
        listedContext_ = context;
        verticalScrollBar()->setValue(0);
    });
    listedContext_ = listedContext(state_);
    applySelectionFromState();
}

EntryList::~EntryList() = default;

// Selection.

void EntryList::applySelectionFromState() {
    if (pushingSelection_) return;
    QScopedValueRollback guard(applyingSelection_, true);
    std::vector<int> rows;
    for (const UUID& id : state_.selectedEntryIDs())
        if (const std::optional<int> row = model_.rowOf(id)) rows.push_back(*row);
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
        selection.select(model_.index(rows[i]), model_.index(rows[j]));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.empty() && !selectionModel()->isSelected(currentIndex()))
        selectionModel()->setCurrentIndex(model_.index(rows.front()), QItemSelectionModel::NoUpdate);
    // With nothing selected the keys still act on a row, which the focus ring shows: the top one
    // in view, so that the list stays where it is.
    if (rows.empty() && !currentIndex().isValid() && model_.rowCount() > 0) {
        executeDelayedItemsLayout();
        QModelIndex top = indexAt(QPoint(viewport()->width() / 2, 1));
        if (!top.isValid()) top = model_.index(0);
        const bool scrolls = hasAutoScroll();
        setAutoScroll(false);
        selectionModel()->setCurrentIndex(top, QItemSelectionModel::NoUpdate);
        setAutoScroll(scrolls);
    }
    viewport()->update();
}

void EntryList::pushSelectionToState() {
    if (applyingSelection_) return;
    UUIDSet ids;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        ids.insert(model_.entry(index.row()).id);
    QScopedValueRollback guard(pushingSelection_, true);
    state_.setSelectedEntryIDs(ids);
}

// Keys.

std::optional<EntryList::KeyAction> EntryList::keyAction(const QKeyEvent* event) const {
    // Return and, on this platform, the universal copy key both copy the focused entry's password;
    // Ctrl+C reaches the list only while it has the focus, so it still copies text in fields.
    if (isReturn(event) || event->matches(QKeySequence::Copy)) {
        if (state_.focusedEntry()) return KeyAction::copyPassword;
    } else if (isEscape(event)) {
        if (state_.isSearching()) return KeyAction::clearSearch;
        if (!state_.selectedEntryIDs().empty()) return KeyAction::clearSelection;
    } else if (isDelete(event)) {
        if (!state_.selectedEntryIDs().empty()) return KeyAction::deleteSelection;
    }
    return std::nullopt;
}

bool EntryList::event(QEvent* event) {
    // The list's keys come before any window shortcut on the same key while the list has focus.
    if (event->type() == QEvent::ShortcutOverride && keyAction(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QListView::event(event);
}

void EntryList::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (opensContextMenu(*event)) {
        // The row menu of the current row, as a right click on it would open it.
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        contextMenuEvent(&menu);
        event->accept();
        return;
    }
    if (const std::optional<KeyAction> action = keyAction(event)) {
        switch (*action) {
            case KeyAction::copyPassword:
                state_.copyPassword();
                break;
            case KeyAction::clearSearch:
                state_.setSearchText(QString());
                break;
            case KeyAction::clearSelection:
                state_.setSelectedEntryIDs({});
                break;
            case KeyAction::deleteSelection:
                state_.deleteEntries(state_.selectedEntryIDs());
                break;
        }
        event->accept();
        return;
    }
    // Passed on. The item view would copy the row's title as plain text on Ctrl+C; an entry's
    // text reaches the clipboard only through the clipboard service.
    if (isReturn(event) || isEscape(event) || isDelete(event) || event->matches(QKeySequence::Copy)) {
        event->ignore();
        return;
    }
    // With nothing selected, the row the focus ring is on is where the keys are: the first arrow
    // selects it rather than passing it by, and Home or End on it selects it too.
    const bool moves =
        modifiers == Qt::NoModifier && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down ||
                                        event->key() == Qt::Key_Home || event->key() == Qt::Key_End);
    const bool noneSelected = !selectionModel()->hasSelection() && currentIndex().isValid();
    if (moves && noneSelected && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
    if (moves && noneSelected && !selectionModel()->hasSelection() && currentIndex().isValid())
        selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
}

// Pointer.

QRect EntryList::rowRect(int row) const {
    return visualRect(model_.index(row));
}

QRect EntryList::buttonRect(int row, EntryRowDelegate::Button button) const {
    const EntryRowDelegate::Layout l = EntryRowDelegate::layout(rowRect(row), QModelIndex());
    const auto at = std::find(EntryRowDelegate::buttons.begin(), EntryRowDelegate::buttons.end(), button);
    return l.buttons[static_cast<std::size_t>(at - EntryRowDelegate::buttons.begin())].toAlignedRect();
}

void EntryList::setHover(const QPoint& pos) {
    const QModelIndex index = indexAt(pos);
    const int row = index.isValid() ? index.row() : -1;
    std::optional<EntryRowDelegate::Button> button;
    if (row >= 0) button = EntryRowDelegate::buttonAt(rowRect(row), pos);
    if (row == interaction_.hoveredRow && button == interaction_.hoveredButton) return;
    if (interaction_.hoveredRow >= 0) viewport()->update(rowRect(interaction_.hoveredRow));
    interaction_.hoveredRow = row;
    interaction_.hoveredButton = button;
    if (row >= 0) viewport()->update(rowRect(row));
}

void EntryList::clearHover() {
    if (interaction_.hoveredRow >= 0) viewport()->update(rowRect(interaction_.hoveredRow));
    interaction_.hoveredRow = -1;
    interaction_.hoveredButton.reset();
}

bool EntryList::viewportEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::Leave:
            clearHover();
            break;
        case QEvent::ToolTip: {
            auto* help = static_cast<QHelpEvent*>(event);
            const QModelIndex index = indexAt(help->pos());
            if (index.isValid()) {
                const QRect row = rowRect(index.row());
                if (const auto button = EntryRowDelegate::buttonAt(row, help->pos())) {
                    if (showAreaTooltip(help, viewport(), buttonRect(index.row(), *button),
                                        EntryRowDelegate::tooltip(*button)))
                        return true;
                }
                const EntryRowDelegate::Layout l = EntryRowDelegate::layout(row, index);
                if (l.expiredMark && showAreaTooltip(help, viewport(), l.expiredMark->toAlignedRect(),
                                                     QStringLiteral("Süresi dolmuş")))
                    return true;
            }
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        default:
            break;
    }
    return QListView::viewportEvent(event);
}

void EntryList::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    setHover(pos);
    openEditorOnRelease_ = false;
    // The context menu acts on the clicked row without changing the selection.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(pos);
    dragRow_ = event->button() == Qt::LeftButton && index.isValid() ? index.row() : -1;
    if (event->button() == Qt::LeftButton && index.isValid()) {
        if (const auto button = EntryRowDelegate::buttonAt(rowRect(index.row()), pos)) {
            // A quick action is a button: it neither selects the row nor starts a drag.
            if (EntryRowDelegate::isEnabled(*button, index)) {
                interaction_.pressedRow = index.row();
                interaction_.pressedButton = button;
                viewport()->update(rowRect(index.row()));
            }
            event->accept();
            return;
        }
    }
    QListView::mousePressEvent(event);
}

void EntryList::mouseMoveEvent(QMouseEvent* event) {
    setHover(event->position().toPoint());
    if (interaction_.pressedButton) {
        event->accept();
        return;
    }
    QListView::mouseMoveEvent(event);
}

void EntryList::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (interaction_.pressedButton) {
        const int row = interaction_.pressedRow;
        const EntryRowDelegate::Button button = *interaction_.pressedButton;
        interaction_.pressedRow = -1;
        interaction_.pressedButton.reset();
        viewport()->update(rowRect(row));
        const QModelIndex index = indexAt(pos);
        if (index.isValid() && index.row() == row && EntryRowDelegate::buttonAt(rowRect(row), pos) == button)
            runButton(row, button);
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
    // A double click opens the editor when its second press comes up, as a button does.
    if (openEditorOnRelease_ && event->button() == Qt::LeftButton) {
        openEditorOnRelease_ = false;
        if (const std::optional<KdbxEntry> entry = state_.focusedEntry())
            state_.setRoute(Route::editEntry(entry->id));
    }
}

void EntryList::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (event->button() == Qt::LeftButton && index.isValid() &&
        EntryRowDelegate::buttonAt(rowRect(index.row()), pos)) {
        mousePressEvent(event);
        return;
    }
    QListView::mouseDoubleClickEvent(event);
    openEditorOnRelease_ = event->button() == Qt::LeftButton;
}

void EntryList::runButton(int row, EntryRowDelegate::Button button) {
    const KdbxEntry entry = model_.entry(row);
    switch (button) {
        case EntryRowDelegate::Button::username:
            state_.copyUsername(entry);
            break;
        case EntryRowDelegate::Button::password:
            state_.copyPassword(entry);
            break;
        case EntryRowDelegate::Button::autoType:
            state_.performAutoType(entry);
            break;
    }
}

void EntryList::scrollContentsBy(int dx, int dy) {
    QListView::scrollContentsBy(dx, dy);
    // The row under a resting pointer changes when the rows move beneath it.
    if (viewport()->underMouse())
        setHover(viewport()->mapFromGlobal(QCursor::pos()));
    else
        clearHover();
}

// Context menu.

std::unique_ptr<QMenu> EntryList::makeContextMenu(int row) {
    auto menu = std::make_unique<QMenu>(this);
    if (row < 0 || row >= model_.rowCount()) return menu;
    const KdbxEntry entry = model_.entry(row);
    const UUID id = entry.id;
    // Duplicate and delete act on the whole selection when the row is part of it.
    const UUIDSet targets = state_.selectedEntryIDs().contains(id) ? state_.selectedEntryIDs() : UUIDSet{id};
    AppState& state = state_;

    menu->addAction(QStringLiteral("Kullanıcı adını kopyala"),
                    [&state, entry] { state.copyUsername(entry); });
    menu->addAction(QStringLiteral("Parolayı kopyala"), [&state, entry] { state.copyPassword(entry); });
    QAction* copyURL =
        menu->addAction(QStringLiteral("Adresi kopyala"), [&state, entry] { state.copyURL(entry); });
    copyURL->setEnabled(!entry.url.empty());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Otomatik yaz"), [&state, entry] { state.performAutoType(entry); });
    QAction* open =
        menu->addAction(QStringLiteral("Adresi tarayıcıda aç"), [&state, entry] { state.openURL(entry); });
    open->setEnabled(!entry.url.empty());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Düzenle…"), [&state, id] { state.setRoute(Route::editEntry(id)); });
    menu->addAction(QStringLiteral("Çoğalt"), [&state, targets] { state.duplicateEntries(targets); });
    addMoveMenu(*menu, targets);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Sil"), [&state, targets] { state.deleteEntries(targets); });
    return menu;
}

// "Taşı…": every group of the tree, indented by its depth, takes the entries to its end. A group
// that already holds all of them is offered but cannot be chosen.
void EntryList::addMoveMenu(QMenu& menu, const UUIDSet& targets) {
    QMenu* groups = menu.addMenu(QStringLiteral("Taşı…"));
    const std::optional<KdbxDatabase>& database = state_.database();
    if (!database) return;
    AppState& state = state_;
    const std::function<void(const KdbxGroup&, int)> add = [&](const KdbxGroup& group, int depth) {
        const QString name =
            group.name.empty() ? QStringLiteral("Adsız grup") : QString::fromStdString(group.name);
        const UUID id = group.id;
        QAction* item = groups->addAction(QString(depth * 2, QChar(0x2002)) + name,
                                          [&state, targets, id] { state.moveEntriesToGroup(targets, id); });
        const bool holdsAll = std::all_of(targets.begin(), targets.end(), [&](const UUID& entry) {
            return std::any_of(group.entries.begin(), group.entries.end(),
                               [&](const KdbxEntry& e) { return e.id == entry; });
        });
        item->setEnabled(!holdsAll);
        for (const KdbxGroup& child : group.groups) add(child, depth + 1);
    };
    add(database->root, 0);
}

void EntryList::contextMenuEvent(QContextMenuEvent* event) {
    QModelIndex index = indexAt(event->pos());
    QPoint globalPos = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse) {
        index = currentIndex();
        if (index.isValid()) globalPos = viewport()->mapToGlobal(visualRect(index).center());
    }
    if (!index.isValid()) {
        event->ignore();
        return;
    }
    std::unique_ptr<QMenu> menu = makeContextMenu(index.row());
    // The menu is our child: if an action took the list down with it, the menu went too.
    const QPointer<QMenu> alive = menu.get();
    menu->exec(globalPos);
    if (!alive) menu.release();
}

// Drag and drop.

void EntryList::startDrag(Qt::DropActions) {
    // A row is dragged on its own, whatever else is selected: the drag carries the row the
    // press was on.
    const QModelIndex index = model_.index(dragRow_);
    if (!index.isValid()) return;
    QMimeData* data = model_.mimeData({index});
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QRect rect = visualRect(index);
    drag->setPixmap(viewport()->grab(rect));
    drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - rect.topLeft());
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
}

void EntryList::setDropRow(int row) {
    if (row == interaction_.dropRow) return;
    if (interaction_.dropRow >= 0) viewport()->update(rowRect(interaction_.dropRow).adjusted(0, -2, 0, 2));
    interaction_.dropRow = row;
    if (row >= 0) viewport()->update(rowRect(row).adjusted(0, -2, 0, 2));
}

void EntryList::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData() || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    dragMoveEvent(event);
}

void EntryList::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (pos.y() < dragScrollMargin)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - dragScrollStep);
    else if (pos.y() > viewport()->height() - dragScrollMargin)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + dragScrollStep);
    const QModelIndex index = indexAt(pos);
    // Rows take any text while it is over them; the drop itself refuses text without an id.
    if (index.isValid() && event->mimeData() && event->mimeData()->hasText()) {
        setDropRow(index.row());
        event->acceptProposedAction();
    } else {
        setDropRow(-1);
        event->ignore();
    }
}

void EntryList::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropRow(-1);
    event->accept();
}

void EntryList::dropEvent(QDropEvent* event) {
    setDropRow(-1);
    const QModelIndex index = indexAt(event->position().toPoint());
    const std::set<UUID> ids = EntryDrag::parse(event->mimeData());
    if (!index.isValid() || ids.empty()) {
        event->ignore();
        return;
    }
    const UUID target = model_.entry(index.row()).id;
    state_.moveEntriesBefore(UUIDSet(ids.begin(), ids.end()), target);
    event->acceptProposedAction();
}
