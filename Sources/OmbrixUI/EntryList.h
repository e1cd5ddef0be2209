#pragma once

#include <QListView>

#include <memory>
#include <optional>
#include <set>

#include "OmbrixCore/Kdbx/UUID.h"
#include "OmbrixUI/EntryRowDelegate.h"

class AppState;
class EntryListModel;
class QMenu;

// The list of the entry column: one painted row per entry of the model, selection bound both
// ways to AppState::selectedEntryIDs (the list's own gestures: click, Ctrl/Shift-click, arrows,
// Ctrl+A), quick-action buttons on the row under the pointer, a context menu, drag and drop
// and the list's own keys. It changes nothing itself: every action is an AppState operation.
//
// Keys while the list has the focus:
// - Return (or Enter) and Ctrl+C copy the one selected entry's password as a secret; without
//   one nothing is copied and the key is passed on. Text fields keep Ctrl+C for their own
//   selection.
// - Escape clears the search, else the selection, else is passed on.
// - Delete deletes the selected entries (one undo step, no confirmation).
// - While the list has the keyboard, the focus ring marks the row the keys act on; with nothing
//   selected the first arrow (or Home or End landing on it) selects that row.
// - The Menu key and Shift+F10 open the context menu of the current row, whose "Taşı…" lists
//   the groups to move the entries to.
// A double click opens the editor of the one selected entry when the button comes up.
//
// A row's drag carries that row's entry alone (its id as plain text), whatever else is
// selected. A drop of text naming entries, one id per line, on a row moves them before that
// row (manual order); anything else is refused.
class EntryList : public QListView {
    Q_OBJECT

  public:
    EntryList(AppState& state, EntryListModel& model, QWidget* parent = nullptr);
    ~EntryList() override;

    EntryListModel& entries() const { return model_; }
    const EntryRowDelegate::Interaction& interaction() const { return interaction_; }

    // The row's context menu, built for `row` against the current selection. The caller owns
    // it; the list shows it on a right click.
    std::unique_ptr<QMenu> makeContextMenu(int row);

    // The row's rectangle in viewport coordinates, and the rectangle of one of its buttons.
    QRect rowRect(int row) const;
    QRect buttonRect(int row, EntryRowDelegate::Button button) const;

  protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    // What a key press means here; nothing when the list passes it on.
    enum class KeyAction { copyPassword, clearSearch, clearSelection, deleteSelection };
    std::optional<KeyAction> keyAction(const QKeyEvent* event) const;

    void applySelectionFromState();
    void pushSelectionToState();
    void setHover(const QPoint& pos);
    void clearHover();
    void setDropRow(int row);
    void runButton(int row, EntryRowDelegate::Button button);
    void addMoveMenu(QMenu& menu, const std::set<UUID>& targets);

    AppState& state_;
    EntryListModel& model_;
    EntryRowDelegate::Interaction interaction_;
    EntryRowDelegate* delegate_;
    bool applyingSelection_ = false;
    bool pushingSelection_ = false;
    bool openEditorOnRelease_ = false;
    // The row a left press was on: the one a drag carries.
    int dragRow_ = -1;
    // Kept across a reset of the rows while the same group or search is listed.
    QString listedContext_;
    int scrollBeforeReset_ = 0;
};
