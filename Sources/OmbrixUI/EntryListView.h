#pragma once

#include <QWidget>

#include <vector>

class AppState;
class QAction;
class EmptyStateView;
class EntryList;
class EntryListModel;
class IconButton;
class QMenu;
class QStackedWidget;
class SectionHeader;

// The middle column of the main window: a header with the listed group's name (or the search
// results), the count, the sort menu and the new-entry button; under it the entry list, or an
// empty state when nothing is listed ("Bu grup boş", or "Eşleşme yok" while searching).
class EntryListView : public QWidget {
    Q_OBJECT

  public:
    explicit EntryListView(AppState& state, QWidget* parent = nullptr);

    // The rows, shared with the status bar's count.
    EntryListModel& model() const { return *model_; }
    EntryList* list() const { return list_; }
    SectionHeader* header() const { return header_; }
    IconButton* sortButton() const { return sortButton_; }
    // The sort menu: "Sırala" with the columns, then "Yön" with the directions, shown only
    // while the column is not the manual order.
    QMenu* sortMenu() const { return sortMenu_; }
    IconButton* newEntryButton() const { return newEntryButton_; }
    // The empty state on show, or null while the list shows.
    EmptyStateView* emptyState() const;

  signals:
    // The list had the keyboard and has given way to an empty state (the last of its entries
    // moved or deleted): the keyboard needs a place that shows.
    void listLeftWithTheKeyboard();

  private:
    void refresh();
    void buildSortMenu();
    void syncSortMenu();

    AppState& state_;
    EntryListModel* model_;
    SectionHeader* header_;
    IconButton* sortButton_;
    IconButton* newEntryButton_;
    QMenu* sortMenu_;
    std::vector<QAction*> columnActions_;
    QAction* directionSection_ = nullptr;
    std::vector<QAction*> directionActions_;
    QStackedWidget* stack_;
    EntryList* list_;
    EmptyStateView* noMatches_;
    EmptyStateView* emptyGroup_;
};
