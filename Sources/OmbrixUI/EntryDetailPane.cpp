#include "OmbrixUI/EntryDetailPane.h"

#include <QPainter>
#include <QVBoxLayout>

#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/Preferences.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/EntryDetailView.h"
#include "OmbrixUI/MultiSelectionSummary.h"

EntryDetailPane::EntryDetailPane(AppState& state, QWidget* parent)
    : EntryDetailPane(state, ClipboardService::shared(), Preferences::shared(), parent) {}

EntryDetailPane::EntryDetailPane(AppState& state, ClipboardService& clipboard, Preferences& preferences,
                                 QWidget* parent)
    : QWidget(parent), state_(state), clipboard_(clipboard), preferences_(preferences) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setMinimumWidth(minimumPaneWidth);
    connect(&state_, &AppState::selectedEntryIDsChanged, this, &EntryDetailPane::refresh);
    connect(&state_, &AppState::databaseChanged, this, &EntryDetailPane::refresh);
    refresh();
}

EntryDetailPane::Content EntryDetailPane::contentFor(const AppState& state) {
    if (state.focusedEntry()) return Content::entry;
    const std::size_t selected = state.selectedEntryIDs().size();
    if (selected >= 2) return Content::multipleEntries;
    if (selected == 1) return Content::missingEntry;
    return Content::noSelection;
}

EntryDetailView* EntryDetailPane::detailView() const {
    return detail_;
}

MultiSelectionSummary* EntryDetailPane::summary() const {
    return summary_;
}

EmptyStateView* EntryDetailPane::notice() const {
    return notice_;
}

void EntryDetailPane::refresh() {
    if (const std::optional<KdbxEntry> focused = state_.focusedEntry()) {
        if (detail_) {
            detail_->setEntry(*focused);
        } else {
            present(new EntryDetailView(state_, clipboard_, preferences_, *focused), Content::entry);
        }
        return;
    }
    const auto count = qsizetype(state_.selectedEntryIDs().size());
    if (count >= 2) {
        // The count is of the selected ids, also those that no longer name an entry.
        if (summary_) {
            summary_->setCount(count);
        } else {
            present(new MultiSelectionSummary(state_, count), Content::multipleEntries);
        }
        return;
    }
    if (count == 1) {
        if (content_ == Content::missingEntry && notice_) return;
        present(new EmptyStateView(
                    QStringLiteral("exclamationmark.triangle"), QStringLiteral("Kayıt bulunamadı"),
                    QStringLiteral("Seçili kayıt veritabanı ağacında yok. Kasayı kapatıp "
                                   "yeniden açmayı dene."),
                    QStringLiteral("Seçimi temizle"), [this] { state_.setSelectedEntryIDs({}); }, true),
                Content::missingEntry);
        return;
    }
    if (content_ == Content::noSelection && notice_) return;
    present(new EmptyStateView(QStringLiteral("square.righthalf.filled"), QStringLiteral("Kayıt seçilmedi"),
                               QStringLiteral("Ayrıntıları görmek için listeden bir kayıt seç."),
                               std::nullopt, {}, true),
            Content::noSelection);
}

void EntryDetailPane::present(QWidget* content, Content kind) {
    if (current_) {
        // The old content may be running the click that led here (clearing the selection,
        // deleting the selected entries): it goes out of sight now and is destroyed later.
        current_->hide();
        layout()->removeWidget(current_);
        current_->deleteLater();
    }
    current_ = content;
    content_ = kind;
    detail_ = qobject_cast<EntryDetailView*>(content);
    summary_ = qobject_cast<MultiSelectionSummary*>(content);
    notice_ = qobject_cast<EmptyStateView*>(content);
    layout()->addWidget(content);
}

void EntryDetailPane::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Palette::surface);
}
