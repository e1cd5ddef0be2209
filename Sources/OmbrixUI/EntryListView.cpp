#include "OmbrixUI/EntryListView.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "OmbrixState/AppState.h"
#include "OmbrixState/BrandNumber.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/MainActions.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/Tooltip.h"

namespace {

QString quoted(const QString& text) {
    return QStringLiteral("“") + text + QStringLiteral("”");
}

}  // namespace

EntryListView::EntryListView(AppState& state, QWidget* parent)
    : QWidget(parent),
      state_(state),
      model_(new EntryListModel(state, this)),
      sortButton_(new IconButton(QStringLiteral("arrow.up.arrow.down"), Palette::textSoft, 26)),
      newEntryButton_(new IconButton(QStringLiteral("plus"), Palette::accent, 26)),
      sortMenu_(new QMenu(this)),
      stack_(new QStackedWidget),
      list_(new EntryList(state, *model_)) {
    Painting::fillBackground(this, Palette::canvas);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* controls = new QWidget;
    auto* controlsRow = new QHBoxLayout(controls);
    controlsRow->setContentsMargins(0, 0, 0, 0);
    controlsRow->setSpacing(4);
    controlsRow->addWidget(sortButton_, 0, Qt::AlignVCenter);
    controlsRow->addWidget(newEntryButton_, 0, Qt::AlignVCenter);
    controls->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setTooltip(newEntryButton_, QStringLiteral("Yeni kayıt (Ctrl+I)"));

    header_ = new SectionHeader(QString(), QString(), controls);
    auto* headerBox = new QWidget;
    Painting::fillBackground(headerBox, Palette::surface);
    auto* headerLayout = new QVBoxLayout(headerBox);
    headerLayout->setContentsMargins(12, 10, 12, 10);
    headerLayout->addWidget(header_);
    column->addWidget(headerBox);
    column->addWidget(new HairlineDivider(Palette::line));

    noMatches_ = new EmptyStateView(
        QStringLiteral("magnifyingglass"), QStringLiteral("Eşleşme yok"), QString(),
        QStringLiteral("Aramayı temizle"), [this] { state_.setSearchText(QString()); }, true);
    emptyGroup_ = new EmptyStateView(
        QStringLiteral("tray"), QStringLiteral("Bu grup boş"),
        QStringLiteral("Buraya ilk kaydını ekle; kullanıcı adı, parola ve otomatik yazma sekansı saklanır."),
        QStringLiteral("Kayıt ekle"), [this] { MainActions::newEntry(state_); }, true);
    Painting::fillBackground(noMatches_, Palette::canvas);
    Painting::fillBackground(emptyGroup_, Palette::canvas);
    stack_->addWidget(list_);
    stack_->addWidget(noMatches_);
    stack_->addWidget(emptyGroup_);
    column->addWidget(stack_, 1);

    connect(newEntryButton_, &QAbstractButton::clicked, this, [this] { MainActions::newEntry(state_); });
    connect(sortButton_, &QAbstractButton::clicked, this,
            [this] { sortMenu_->popup(sortButton_->mapToGlobal(QPoint(0, sortButton_->height() + 2))); });
    connect(model_, &EntryListModel::refreshed, this, &EntryListView::refresh);
    connect(&state_, &AppState::sortChanged, this, &EntryListView::syncSortMenu);
    buildSortMenu();
    syncSortMenu();
    refresh();
}

EmptyStateView* EntryListView::emptyState() const {
    return qobject_cast<EmptyStateView*>(stack_->currentWidget());
}

void EntryListView::refresh() {
    const int count = model_->rowCount();
    const QString number = brandCount(count);
    if (state_.isSearching()) {
        header_->setTitle(QStringLiteral("Arama sonuçları"));
        header_->setSubtitle(quoted(state_.searchText()) + QStringLiteral(" · ") + number +
                             QStringLiteral(" eşleşme"));
    } else {
        const std::optional<KdbxGroup> group = state_.selectedGroup();
        header_->setTitle(group ? QString::fromStdString(group->name) : QStringLiteral("Tümü"));
        header_->setSubtitle(number + QStringLiteral(" kayıt"));
    }

    // The window's keyboard place, also while a menu over it has the keys.
    const bool listHadKeyboard = list_->isVisible() && window()->focusWidget() == list_;
    if (count > 0) {
        stack_->setCurrentWidget(list_);
    } else if (state_.isSearching()) {
        noMatches_->messageLabel()->setText(
            quoted(state_.searchText()) +
            QStringLiteral(" için kayıt bulunamadı. Başka bir terim dene ya da aramayı temizle."));
        stack_->setCurrentWidget(noMatches_);
    } else {
        stack_->setCurrentWidget(emptyGroup_);
    }
    if (listHadKeyboard && stack_->currentWidget() != list_) emit listLeftWithTheKeyboard();
}

void EntryListView::buildSortMenu() {
    sortMenu_->addSection(QStringLiteral("Sırala"));
    auto* columns = new QActionGroup(sortMenu_);
    for (EntrySort::Column column : EntrySort::allColumns) {
        QAction* action = sortMenu_->addAction(EntrySort::label(column));
        action->setCheckable(true);
        columns->addAction(action);
        columnActions_.push_back(action);
        connect(action, &QAction::triggered, this, [this, column] {
            EntrySort next = state_.sort();
            next.column = column;
            state_.setSort(next);
        });
    }
    directionSection_ = sortMenu_->addSection(QStringLiteral("Yön"));
    auto* directions = new QActionGroup(sortMenu_);
    for (const auto& [label, ascending] :
         {std::pair{QStringLiteral("Artan"), true}, std::pair{QStringLiteral("Azalan"), false}}) {
        QAction* action = sortMenu_->addAction(label);
        action->setCheckable(true);
        directions->addAction(action);
        directionActions_.push_back(action);
        connect(action, &QAction::triggered, this, [this, ascending = ascending] {
            EntrySort next = state_.sort();
            next.ascending = ascending;
            state_.setSort(next);
        });
    }
}

void EntryListView::syncSortMenu() {
    const EntrySort sort = state_.sort();
    setTooltip(sortButton_, QStringLiteral("Sıralama: ") + EntrySort::label(sort.column));
    for (std::size_t i = 0; i < columnActions_.size(); ++i)
        columnActions_[i]->setChecked(EntrySort::allColumns[i] == sort.column);
    // The direction means nothing to the manual order, so it is offered only for the others.
    const bool directed = sort.column != EntrySort::Column::manual;
    directionSection_->setVisible(directed);
    directionActions_[0]->setChecked(sort.ascending);
    directionActions_[1]->setChecked(!sort.ascending);
    for (QAction* action : directionActions_) action->setVisible(directed);
}
