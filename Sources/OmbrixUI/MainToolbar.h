#pragma once

#include <QWidget>

#include "OmbrixServices/Services/ClipboardService.h"

class AppState;
class IconButton;
class QAbstractButton;
class QAction;
class QMenu;
class SearchField;

// The bar across the top of the main window: the search field in the centre and, at the right
// end, new entry, the "Diğer işlemler" menu, save and lock. The buttons bind no keys; their
// tool tips name the menu commands' shortcuts.
class MainToolbar : public QWidget {
    Q_OBJECT

  public:
    static constexpr int barHeight = 44;

    explicit MainToolbar(AppState& state, ClipboardService& clipboard = ClipboardService::shared(),
                         QWidget* parent = nullptr);

    SearchField* searchField() const { return search_; }
    IconButton* newEntryButton() const { return newEntry_; }
    IconButton* moreButton() const { return more_; }
    QMenu* moreMenu() const { return menu_; }
    IconButton* saveButton() const { return save_; }
    // Accent while there are unsaved changes, else the soft text colour.
    QColor saveTint() const;
    IconButton* lockButton() const { return lock_; }

    // The items of the "Diğer işlemler" menu, by their text.
    QAction* menuAction(const QString& text) const;

  private:
    void refresh();

    AppState& state_;
    ClipboardService& clipboard_;
    SearchField* search_;
    IconButton* newEntry_;
    IconButton* more_;
    IconButton* save_;
    IconButton* lock_;
    QMenu* menu_;
    QAction* copyUsername_;
    QAction* copyPassword_;
    QAction* autoType_;
    QAction* clearClipboard_;
};
