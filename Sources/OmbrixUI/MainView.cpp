#include "OmbrixUI/MainView.h"

#include <QPainter>
#include <QSplitter>
#include <QVBoxLayout>

#include "OmbrixState/AppState.h"
#include "OmbrixState/BrandNumber.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/EntryDetailPane.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupTreeView.h"
#include "OmbrixUI/MainToolbar.h"
#include "OmbrixUI/SearchField.h"
#include "OmbrixUI/StatusBar.h"

namespace {

// The one-pixel hairline between two columns.
class HairlineHandle : public QSplitterHandle {
  public:
    using QSplitterHandle::QSplitterHandle;

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Palette::line); }
};

// Painted handles instead of a style sheet: a style sheet on the splitter would restyle every
// column below it and override the palettes the columns set for their own backgrounds.
class ColumnSplitter : public QSplitter {
  public:
    ColumnSplitter() : QSplitter(Qt::Horizontal) {}

  protected:
    QSplitterHandle* createHandle() override { return new HairlineHandle(orientation(), this); }
};

}  // namespace

MainView::MainView(AppState& state, ClipboardService& clipboard, QWidget* parent)
    : QWidget(parent),
      state_(state),
      toolbar_(new MainToolbar(state, clipboard)),
      splitter_(new ColumnSplitter),
      groupTree_(new GroupTreeView(state)),
      entryList_(new EntryListView(state)),
      detailPane_(new EntryDetailPane(state)),
      statusBar_(new StatusBar(state, entryList_->model(), clipboard)) {
    Painting::fillBackground(this, Palette::canvas);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(toolbar_);
    column->addWidget(splitter_, 1);
    column->addWidget(statusBar_);

    groupTree_->setMinimumWidth(sidebarMinimum);
    groupTree_->setMaximumWidth(sidebarMaximum);
    entryList_->setMinimumWidth(listMinimum);
    entryList_->setMaximumWidth(listMaximum);
    detailPane_->setMinimumWidth(qMax(detailMinimum, detailPane_->minimumWidth()));
    splitter_->addWidget(groupTree_);
    splitter_->addWidget(entryList_);
    splitter_->addWidget(detailPane_);
    splitter_->setChildrenCollapsible(false);
    splitter_->setHandleWidth(1);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 0);
    splitter_->setStretchFactor(2, 1);
    splitter_->setSizes({sidebarIdeal, listIdeal, 10000});

    // The list takes the keyboard when the window is activated, so its keys work at once.
    entryList_->list()->setFocus();
    // Down in the search field goes on to the first result, selected, where the list's keys work.
    connect(toolbar_->searchField(), &SearchField::downPressed, this, [this] {
        EntryList* list = entryList_->list();
        if (list->entries().rowCount() == 0) return;
        state_.setSelectedEntryIDs({list->entries().entry(0).id});
        list->setFocus(Qt::TabFocusReason);
    });

    // A command that empties the list (moving or deleting its last entry) leaves the keyboard
    // at its resting place, where it shows and where Ctrl+Z still undoes the command; the stack
    // of the list would hand it to the empty state's button without a mark, and Down from there
    // would lead into the search field.
    connect(entryList_, &EntryListView::listLeftWithTheKeyboard, this,
            [this] { keyboardHome()->setFocus(Qt::ShortcutFocusReason); });

    for (auto signal : {&AppState::databaseChanged, &AppState::databaseURLChanged, &AppState::isDirtyChanged})
        connect(&state_, signal, this, &MainView::refreshTitle);
    refreshTitle();
}

QString MainView::subtitleFor(const AppState& state) {
    QStringList parts;
    if (state.database())
        parts.append(brandCount(GroupTree::totalEntryCount(state.database()->root)) +
                     QStringLiteral(" kayıt"));
    if (state.isDirty()) parts.append(QStringLiteral("kaydedilmedi"));
    return parts.join(QStringLiteral(" · "));
}

QWidget* MainView::keyboardHome() const {
    auto* self = const_cast<MainView*>(this);
    EntryList* list = entryList_->list();
    if (list->isVisibleTo(self)) return list;
    if (groupTree_->isVisibleTo(self)) return groupTree_->tree();
    if (EmptyStateView* empty = entryList_->emptyState(); empty && empty->actionButton())
        return empty->actionButton();
    return list;
}

bool MainView::isSidebarVisible() const {
    return !groupTree_->isHidden();
}

void MainView::setSidebarVisible(bool shown) {
    groupTree_->setVisible(shown);
}

QString MainView::title() const {
    return state_.databaseName();
}

QString MainView::subtitle() const {
    return subtitleFor(state_);
}

QString MainView::windowTitleText() const {
    const QString sub = subtitle();
    return sub.isEmpty() ? title() : title() + QStringLiteral(" — ") + sub;
}

void MainView::refreshTitle() {
    const QString text = windowTitleText();
    if (text == windowTitleText_) return;
    windowTitleText_ = text;
    setWindowTitle(text);
    emit windowTitleTextChanged(text);
}
