#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "EntryDetailFixture.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/EntryDetailView.h"
#include "OmbrixUI/MultiSelectionSummary.h"
#include "OmbrixUI/SelectableText.h"

using detailtest::DetailFixture;
using Content = EntryDetailPane::Content;

namespace {

std::vector<KdbxEntry> entries(int count) {
    std::vector<KdbxEntry> list;
    for (int i = 1; i <= count; ++i) list.push_back(fakes::entry("Kayıt " + std::to_string(i)));
    return list;
}

UUIDSet idsOf(const std::vector<KdbxEntry>& list, std::size_t count) {
    UUIDSet ids;
    for (std::size_t i = 0; i < count; ++i) ids.insert(list[i].id);
    return ids;
}

}  // namespace

TEST_F(DetailFixture, PaneChoosesItsContentFromTheSelection) {
    const std::vector<KdbxEntry> list = entries(3);
    open(fakes::group("Kasa", list));
    auto pane = makePane();
    EXPECT_EQ(pane->minimumWidth(), EntryDetailPane::minimumPaneWidth);

    const UUID gone = UUID::random();
    struct Case {
        const char* note;
        UUIDSet selection;
        Content content;
        const char* title;  // the notice's or the summary's title
    };
    const Case cases[] = {
        {"nothing", {}, Content::noSelection, "Kayıt seçilmedi"},
        {"one", {list[1].id}, Content::entry, "Kayıt 2"},
        {"several", idsOf(list, 3), Content::multipleEntries, "3 kayıt seçildi"},
        {"several, one gone", {list[0].id, gone}, Content::multipleEntries, "2 kayıt seçildi"},
        {"one gone", {gone}, Content::missingEntry, "Kayıt bulunamadı"},
        {"back to one", {list[0].id}, Content::entry, "Kayıt 1"},
    };
    for (const Case& c : cases) {
        state->setSelectedEntryIDs(c.selection);
        EXPECT_EQ(pane->content(), c.content) << c.note;
        EXPECT_EQ(EntryDetailPane::contentFor(*state), c.content) << c.note;
        EXPECT_EQ(pane->detailView() != nullptr, c.content == Content::entry) << c.note;
        EXPECT_EQ(pane->summary() != nullptr, c.content == Content::multipleEntries) << c.note;
        QString title;
        if (pane->detailView()) title = pane->detailView()->titleText()->text();
        if (pane->summary()) title = pane->summary()->notice()->titleLabel()->text();
        if (pane->notice()) {
            title = pane->notice()->titleLabel()->text();
            EXPECT_TRUE(pane->notice()->fills()) << c.note;
        }
        EXPECT_EQ(title, QString::fromUtf8(c.title)) << c.note;
        EXPECT_GE(pane->width(), EntryDetailPane::minimumPaneWidth) << c.note;
    }
}

TEST_F(DetailFixture, MissingEntryNoticeClearsTheSelection) {
    open(fakes::group("Kasa", entries(1)));
    state->setSelectedEntryIDs({UUID::random()});
    auto pane = makePane();
    ASSERT_EQ(pane->content(), Content::missingEntry);
    EmptyStateView* notice = pane->notice();
    EXPECT_EQ(notice->messageLabel()->text(),
              QStringLiteral("Seçili kayıt veritabanı ağacında yok. Kasayı kapatıp yeniden açmayı dene."));
    ASSERT_NE(notice->actionButton(), nullptr);
    EXPECT_EQ(notice->actionButton()->text(), QStringLiteral("Seçimi temizle"));

    QTest::mouseClick(notice->actionButton(), Qt::LeftButton);
    EXPECT_TRUE(state->selectedEntryIDs().empty());
    EXPECT_EQ(pane->content(), Content::noSelection);
    EXPECT_EQ(pane->notice()->messageLabel()->text(),
              QStringLiteral("Ayrıntıları görmek için listeden bir kayıt seç."));
    EXPECT_EQ(pane->notice()->actionButton(), nullptr);
    // The pressed button is gone once control is back in the event loop.
    QApplication::processEvents();
}

TEST_F(DetailFixture, SummaryDeletesAllSelectedAsOneUndoStep) {
    const std::vector<KdbxEntry> list = entries(7);
    open(fakes::group("Kasa", list));
    state->setSelectedEntryIDs(idsOf(list, 5));
    auto pane = makePane();
    MultiSelectionSummary* summary = pane->summary();
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->notice()->titleLabel()->text(), QStringLiteral("5 kayıt seçildi"));
    EXPECT_EQ(summary->deleteButton()->variant(), ButtonVariant::danger);
    EXPECT_EQ(summary->duplicateButton()->variant(), ButtonVariant::secondary);

    QTest::mouseClick(summary->deleteButton(), Qt::LeftButton);
    EXPECT_EQ(state->undoLabel(), QStringLiteral("5 Kaydı Sil"));
    EXPECT_TRUE(state->selectedEntryIDs().empty());
    EXPECT_EQ(pane->content(), Content::noSelection);
    EXPECT_EQ(state->root()->entries.size(), 2u);

    state->undo();
    EXPECT_EQ(state->root()->entries.size(), 7u);
    EXPECT_EQ(pane->content(), Content::noSelection) << "undo brings the entries back, not the selection";
    QApplication::processEvents();
}

TEST_F(DetailFixture, SummaryDuplicatesAndThenCountsTheCopies) {
    const std::vector<KdbxEntry> list = entries(3);
    open(fakes::group("Kasa", list));
    state->setSelectedEntryIDs(idsOf(list, 2));
    auto pane = makePane();
    MultiSelectionSummary* summary = pane->summary();
    ASSERT_NE(summary, nullptr);

    QTest::mouseClick(summary->duplicateButton(), Qt::LeftButton);
    EXPECT_EQ(state->root()->entries.size(), 5u);
    EXPECT_EQ(state->selectedEntryIDs().size(), 2u);
    for (const UUID& id : idsOf(list, 2)) EXPECT_EQ(state->selectedEntryIDs().count(id), 0u);
    EXPECT_EQ(pane->summary(), summary);
    EXPECT_EQ(summary->count(), 2);

    state->setSelectedEntryIDs(idsOf(list, 3));
    EXPECT_EQ(pane->summary(), summary);
    EXPECT_EQ(summary->notice()->titleLabel()->text(), QStringLiteral("3 kayıt seçildi"));
}

TEST_F(DetailFixture, LockingEmptiesThePane) {
    const std::vector<KdbxEntry> list = entries(1);
    open(fakes::group("Kasa", list));
    state->setSelectedEntryIDs({list[0].id});
    auto pane = makePane();
    ASSERT_EQ(pane->content(), Content::entry);
    state->lock();
    EXPECT_EQ(pane->content(), Content::noSelection);
}
