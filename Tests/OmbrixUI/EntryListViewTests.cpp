#include <gtest/gtest.h>

#include <QAction>
#include <QDrag>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <functional>

#include "OmbrixState/GroupTree.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/GroupTreeView.h"
#include "OmbrixUI/SectionHeader.h"
#include "Support/MainWindowFixture.h"
#include "Support/WidgetProbe.h"

using namespace mainwindow;

namespace {

std::string text(const QString& s) {
    return s.toStdString();
}

std::vector<UUID> modelIDs(const EntryListModel& model) {
    std::vector<UUID> ids;
    for (int row = 0; row < model.rowCount(); ++row) ids.push_back(model.entry(row).id);
    return ids;
}

std::vector<UUID> ids(const std::vector<KdbxEntry>& entries) {
    std::vector<UUID> out;
    for (const KdbxEntry& e : entries) out.push_back(e.id);
    return out;
}

QStringList actionTexts(QMenu& menu) {
    QStringList texts;
    for (QAction* action : menu.actions())
        if (action->isVisible())
            texts << (action->isSeparator() ? QStringLiteral("—") + action->text() : action->text());
    return texts;
}

// The list column on screen at the width the main window gives it.
struct ListFixture : Fixture {
    EntryListView view{*state};

    ListFixture() {
        view.resize(340, 520);
        view.show();
        settle();
    }

    EntryList& list() { return *view.list(); }
    int rowOf(const KdbxEntry& e) { return *view.model().rowOf(e.id); }
    QPoint rowCenter(const KdbxEntry& e) { return list().rowRect(rowOf(e)).center(); }
    const KdbxGroup& storedRoot() { return state->database()->root; }
};

// Sends a key to the list as a key press would arrive, and tells whether the list took it.
bool pressKey(EntryList& list, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&list, &press);
    return press.isAccepted();
}

}  // namespace

TEST(EntryListModel, ListsWhatTheStateListsInItsOrder) {
    struct Case {
        const char* note;
        std::function<void(Fixture&)> setup;
    };
    const Case cases[] = {
        {"root by title", [](Fixture&) {}},
        {"a subgroup", [](Fixture& f) { f.state->setSelectedGroupID(f.sample.mail.id); }},
        {"a group with only subgroups", [](Fixture& f) { f.state->setSelectedGroupID(f.sample.banks.id); }},
        {"no group selected", [](Fixture& f) { f.state->setSelectedGroupID(std::nullopt); }},
        {"a search across groups", [](Fixture& f) { f.state->setSearchText(QStringLiteral("ayse")); }},
        {"descending titles",
         [](Fixture& f) {
             f.state->setSearchText(QStringLiteral("a"));
             f.state->setSort({EntrySort::Column::title, false});
         }},
        {"manual order",
         [](Fixture& f) {
             f.state->setSort({EntrySort::Column::manual, false});
         }},
        {"by user name",
         [](Fixture& f) {
             f.state->setSort({EntrySort::Column::username, true});
         }},
    };
    for (const Case& c : cases) {
        Fixture f;
        EntryListModel model(*f.state);
        c.setup(f);
        EXPECT_EQ(modelIDs(model), ids(f.state->visibleEntries())) << c.note;
    }
}

TEST(EntryListModel, RowTexts) {
    struct Case {
        const char* title;
        const char* username;
        const char* url;
        const char* shownTitle;
        bool hasTitle;
        const char* subtitle;
    };
    const Case cases[] = {
        {"", "", "", "Adsız kayıt", false, "—"},
        {"   ", " ", "", "   ", true, " "},
        {"Gmail", "ayse", "https://mail.google.com/mail/u/0", "Gmail", true, "ayse  ·  mail.google.com"},
        {"Banka", "", "https://internet.banka.com.tr:8443/giris", "Banka", true, "internet.banka.com.tr"},
        {"Yönlendirici", "admin", "192.168.1.1", "Yönlendirici", true, "admin  ·  192.168.1.1"},
        {"Örnek", "", "ornek.com/giris", "Örnek", true, "ornek.com/giris"},
        {"Dosya", "ayse", "file:///home/ayse/notlar.txt", "Dosya", true,
         "ayse  ·  file:///home/ayse/notlar.txt"},
    };
    for (const Case& c : cases) {
        const KdbxEntry e = fakes::entry(c.title, c.username, c.url);
        EXPECT_EQ(text(EntryListModel::title(e)), c.shownTitle) << c.title;
        EXPECT_EQ(text(EntryListModel::subtitle(e)), c.subtitle) << c.title;
        Fixture f(false);
        f.sample.database.root.entries = CowList<KdbxEntry>({e});
        fakes::open(f.harness, *f.state, f.sample.database);
        EntryListModel model(*f.state);
        ASSERT_EQ(model.rowCount(), 1);
        EXPECT_EQ(model.index(0).data(EntryListModel::HasTitleRole).toBool(), c.hasTitle) << c.title;
        EXPECT_EQ(model.index(0).data(EntryListModel::IdRole).toString(), uuidText(e));
    }
}

TEST(EntryListModel, FlagsFromTheEntry) {
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    struct Case {
        const char* note;
        bool expires;
        std::optional<Timestamp> at;
        bool expired;
    };
    const Case cases[] = {
        {"expired an hour ago", true, now - std::chrono::hours(1), true},
        {"expires tomorrow", true, now + std::chrono::hours(24), false},
        {"expiry switched off", false, now - std::chrono::hours(1), false},
        {"expires without a time", true, std::nullopt, false},
    };
    for (const Case& c : cases) {
        Fixture f(false);
        KdbxEntry e = fakes::entry("Eski");
        e.expires = c.expires;
        e.expiryTime = c.at;
        e.autoTypeEnabled = false;
        f.sample.database.root.entries = CowList<KdbxEntry>({e});
        fakes::open(f.harness, *f.state, f.sample.database);
        EntryListModel model(*f.state);
        EXPECT_EQ(model.index(0).data(EntryListModel::ExpiredRole).toBool(), c.expired) << c.note;
        EXPECT_FALSE(model.index(0).data(EntryListModel::CanCopyUsernameRole).toBool());
        EXPECT_FALSE(model.index(0).data(EntryListModel::AutoTypeEnabledRole).toBool());
    }
}

TEST(EntryListModel, DragDataIsTheDraggedIdsOnePerLineInListOrder) {
    Fixture f;
    EntryListModel model(*f.state);
    const int github = *model.rowOf(f.sample.github.id);
    const int router = *model.rowOf(f.sample.router.id);
    std::unique_ptr<QMimeData> data(model.mimeData({model.index(router), model.index(github)}));
    ASSERT_TRUE(data);
    ASSERT_TRUE(data->hasText());
    const QString first = github < router ? uuidText(f.sample.github) : uuidText(f.sample.router);
    const QString second = github < router ? uuidText(f.sample.router) : uuidText(f.sample.github);
    EXPECT_EQ(data->text(), first + "\n" + second);
    EXPECT_EQ(data->text(), data->text().toUpper());
}

TEST(EntryListModel, SameRowsReportDataWithoutAReset) {
    Fixture f;
    EntryListModel model(*f.state);
    fakes::SignalCounter resets(&model, &QAbstractItemModel::modelReset);
    fakes::SignalCounter changes(&model, &QAbstractItemModel::dataChanged);
    f.state->copyPassword(f.sample.github);  // stamps the access time: a new database, same rows
    EXPECT_EQ(resets.count(), 0);
    EXPECT_GE(changes.count(), 1);
    f.state->deleteEntries({f.sample.router.id});
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.rowCount(), 1);
}

TEST(EntryListView, HeaderFollowsGroupAndSearch) {
    struct Case {
        const char* note;
        std::function<void(Fixture&)> setup;
        const char* title;
        const char* subtitle;
    };
    const Case cases[] = {
        {"the root's own entries", [](Fixture&) {}, "Kasa", "2 kayıt"},
        {"a group with entries only below it",
         [](Fixture& f) { f.state->setSelectedGroupID(f.sample.banks.id); }, "Bankalar", "0 kayıt"},
        {"searching counts matches in every group", [](Fixture& f) { f.state->setSearchText(" ayse "); },
         "Arama sonuçları", "“ ayse ” · 3 eşleşme"},
        {"a blank search is no search", [](Fixture& f) { f.state->setSearchText("  "); }, "Kasa", "2 kayıt"},
        {"no database", [](Fixture& f) { f.state->lock(); }, "Tümü", "0 kayıt"},
    };
    for (const Case& c : cases) {
        Fixture f;
        EntryListView view(*f.state);
        c.setup(f);
        EXPECT_EQ(text(view.header()->title()), c.title) << c.note;
        EXPECT_EQ(text(view.header()->subtitle().value_or("")), c.subtitle) << c.note;
    }
}

TEST(EntryListView, EmptyStates) {
    ListFixture f;
    EXPECT_EQ(f.view.emptyState(), nullptr);

    f.state->setSearchText(QStringLiteral("  bulunmaz "));
    ASSERT_NE(f.view.emptyState(), nullptr);
    EXPECT_EQ(text(f.view.emptyState()->titleLabel()->text()), "Eşleşme yok");
    EXPECT_EQ(text(f.view.emptyState()->messageLabel()->text()),
              "“  bulunmaz ” için kayıt bulunamadı. Başka bir terim dene ya da aramayı temizle.");
    f.view.emptyState()->actionButton()->click();
    EXPECT_EQ(f.state->searchText(), QString());
    EXPECT_EQ(f.view.emptyState(), nullptr);

    f.state->setSelectedGroupID(f.sample.empty.id);
    ASSERT_NE(f.view.emptyState(), nullptr);
    EXPECT_EQ(text(f.view.emptyState()->titleLabel()->text()), "Bu grup boş");
    f.view.emptyState()->actionButton()->click();
    EXPECT_EQ(f.state->route(), Route::newEntry(f.sample.empty.id));
}

TEST(EntryListView, NewEntryButtonTargetsTheSelectedGroupOrTheRoot) {
    ListFixture f;
    f.state->setSelectedGroupID(f.sample.mail.id);
    f.state->setSearchText(QStringLiteral("kart"));  // a search does not change the target
    f.view.newEntryButton()->click();
    EXPECT_EQ(f.state->route(), Route::newEntry(f.sample.mail.id));
    f.state->setSelectedGroupID(std::nullopt);
    f.view.newEntryButton()->click();
    EXPECT_EQ(f.state->route(), Route::newEntry(f.storedRoot().id));
    EXPECT_EQ(text(f.view.newEntryButton()->toolTip()), "Yeni kayıt (Ctrl+I)");
}

TEST(EntryListView, SortMenu) {
    ListFixture f;
    QMenu& menu = *f.view.sortMenu();
    f.state->setSort({EntrySort::Column::manual, false});
    EXPECT_EQ(actionTexts(menu).join("|"), "—Sırala|Kendi sıram|Başlık|Kullanıcı|Adres|Değiştirilme");
    EXPECT_TRUE(actionNamed(menu, "Kendi sıram")->isChecked());
    EXPECT_EQ(text(f.view.sortButton()->toolTip()), "Sıralama: Kendi sıram");

    actionNamed(menu, "Değiştirilme")->trigger();
    EXPECT_EQ(f.state->sort(), (EntrySort{EntrySort::Column::modified, false}));
    EXPECT_EQ(actionTexts(menu).join("|"),
              "—Sırala|Kendi sıram|Başlık|Kullanıcı|Adres|Değiştirilme|—Yön|Artan|Azalan");
    EXPECT_TRUE(actionNamed(menu, "Azalan")->isChecked());
    EXPECT_FALSE(actionNamed(menu, "Artan")->isChecked());
    EXPECT_EQ(text(f.view.sortButton()->toolTip()), "Sıralama: Değiştirilme");

    actionNamed(menu, "Artan")->trigger();
    EXPECT_EQ(f.state->sort(), (EntrySort{EntrySort::Column::modified, true}));
    EXPECT_TRUE(actionNamed(menu, "Artan")->isChecked());
    EXPECT_EQ(text(f.view.sortButton()->toolTip()), "Sıralama: Değiştirilme");
    EXPECT_EQ(f.harness.preferences.sortColumn(), QStringLiteral("modified"));
}

TEST(EntryList, SelectionFollowsTheStateBothWays) {
    ListFixture f;
    f.state->setSelectedEntryIDs({f.sample.github.id});
    EXPECT_TRUE(f.list().selectionModel()->isSelected(f.view.model().index(f.rowOf(f.sample.github))));

    QTest::mouseClick(f.list().viewport(), Qt::LeftButton, {}, f.rowCenter(f.sample.router));
    EXPECT_EQ(f.state->selectedEntryIDs(), (UUIDSet{f.sample.router.id}));
    QTest::mouseClick(f.list().viewport(), Qt::LeftButton, Qt::ControlModifier, f.rowCenter(f.sample.github));
    EXPECT_EQ(f.state->selectedEntryIDs(), (UUIDSet{f.sample.router.id, f.sample.github.id}));

    // A change of the rows keeps the selection that still exists.
    f.state->copyPassword(f.sample.github);
    EXPECT_EQ(f.list().selectionModel()->selectedIndexes().size(), 2);
}

TEST(EntryList, Keys) {
    struct Step {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool taken;
    };
    struct Case {
        const char* note;
        std::function<void(Fixture&)> setup;
        std::vector<Step> steps;
        std::function<void(Fixture&)> check;
    };
    const Case cases[] = {
        {"Return copies the password of the one selected entry",
         [](Fixture& f) { f.state->setSelectedEntryIDs({f.sample.github.id}); },
         {{Qt::Key_Return, Qt::NoModifier, true}},
         [](Fixture& f) {
             EXPECT_FALSE(f.state->route());
             ASSERT_EQ(f.harness.clipboard->copies.size(), 1u);
             EXPECT_TRUE(f.harness.clipboard->copies[0].secret);
             EXPECT_TRUE(f.harness.clipboard->copies[0].text == QStringLiteral("gh-parola"));
             EXPECT_EQ(f.state->statusMessage(), QStringLiteral("Parola kopyalandı"));
         }},
        {"Return with nothing selected is passed on",
         [](Fixture&) {},
         {{Qt::Key_Return, Qt::NoModifier, false}},
         [](Fixture& f) { EXPECT_TRUE(f.harness.clipboard->copies.empty()); }},
        {"Return with two selected is passed on",
         [](Fixture& f) {
             f.state->setSelectedEntryIDs({f.sample.github.id, f.sample.router.id});
         },
         {{Qt::Key_Enter, Qt::KeypadModifier, false}},
         [](Fixture& f) { EXPECT_TRUE(f.harness.clipboard->copies.empty()); }},
        {"Ctrl+C copies the password as a secret",
         [](Fixture& f) { f.state->setSelectedEntryIDs({f.sample.github.id}); },
         {{Qt::Key_C, Qt::ControlModifier, true}},
         [](Fixture& f) {
             ASSERT_EQ(f.harness.clipboard->copies.size(), 1u);
             EXPECT_TRUE(f.harness.clipboard->copies[0].secret);
             EXPECT_TRUE(f.harness.clipboard->copies[0].text == QStringLiteral("gh-parola"));
             EXPECT_EQ(f.state->statusMessage(), QStringLiteral("Parola kopyalandı"));
         }},
        {"Ctrl+C with two selected copies nothing, not even the title",
         [](Fixture& f) {
             f.state->setSelectedEntryIDs({f.sample.github.id, f.sample.router.id});
         },
         {{Qt::Key_C, Qt::ControlModifier, false}},
         [](Fixture& f) { EXPECT_TRUE(f.harness.clipboard->copies.empty()); }},
        {"Escape clears the search, then the selection, then passes",
         [](Fixture& f) {
             f.state->setSearchText(QStringLiteral("ayse"));
             f.state->setSelectedEntryIDs({f.sample.github.id});
         },
         {{Qt::Key_Escape, Qt::NoModifier, true},
          {Qt::Key_Escape, Qt::NoModifier, true},
          {Qt::Key_Escape, Qt::NoModifier, false}},
         [](Fixture& f) {
             EXPECT_EQ(f.state->searchText(), QString());
             EXPECT_TRUE(f.state->selectedEntryIDs().empty());
         }},
        {"Delete removes the selected search results as one step and keeps the search",
         [](Fixture& f) {
             f.state->setSearchText(QStringLiteral("ayse"));
             f.state->setSelectedEntryIDs({f.sample.gmail.id, f.sample.github.id});
         },
         {{Qt::Key_Delete, Qt::NoModifier, true}},
         [](Fixture& f) {
             EXPECT_EQ(f.state->undoLabel(), QStringLiteral("2 Kaydı Sil"));
             EXPECT_TRUE(f.state->selectedEntryIDs().empty());
             EXPECT_EQ(f.state->searchText(), QStringLiteral("ayse"));
             EXPECT_FALSE(GroupTree::findEntry(f.state->database()->root, f.sample.gmail.id));
             EXPECT_EQ(f.state->visibleEntries().size(), 1u);
         }},
        {"Delete with nothing selected does nothing",
         [](Fixture&) {},
         {{Qt::Key_Delete, Qt::NoModifier, false}},
         [](Fixture& f) { EXPECT_FALSE(f.state->canUndo()); }},
    };
    for (const Case& c : cases) {
        ListFixture f;
        c.setup(f);
        for (const Step& step : c.steps)
            EXPECT_EQ(pressKey(f.list(), step.key, step.modifiers), step.taken) << c.note;
        c.check(f);
    }
}

TEST(EntryList, HoverButtonsActOnTheirRowWithoutSelectingIt) {
    struct Case {
        const char* note;
        EntryRowDelegate::Button button;
        bool onRouter;  // the router has no user name
        std::function<void(Fixture&)> check;
    };
    const Case cases[] = {
        {"person copies the user name", EntryRowDelegate::Button::username, false,
         [](Fixture& f) {
             ASSERT_EQ(f.harness.clipboard->copies.size(), 1u);
             EXPECT_TRUE(f.harness.clipboard->copies[0].text == QStringLiteral("ayse"));
             EXPECT_EQ(f.state->statusMessage(), QStringLiteral("Kullanıcı adı kopyalandı"));
         }},
        {"key copies the password", EntryRowDelegate::Button::password, false,
         [](Fixture& f) {
             ASSERT_EQ(f.harness.clipboard->copies.size(), 1u);
             EXPECT_TRUE(f.harness.clipboard->copies[0].secret);
             EXPECT_EQ(f.state->statusMessage(), QStringLiteral("Parola kopyalandı"));
         }},
        {"keyboard types the entry", EntryRowDelegate::Button::autoType, false,
         [](Fixture& f) {
             ASSERT_EQ(f.harness.autoType->runs.size(), 1u);
             EXPECT_EQ(f.harness.autoType->runs[0].entry.id, f.sample.github.id);
         }},
        {"person is disabled for an empty user name", EntryRowDelegate::Button::username, true,
         [](Fixture& f) { EXPECT_TRUE(f.harness.clipboard->copies.empty()); }},
    };
    for (const Case& c : cases) {
        ListFixture f;
        f.state->setSelectedEntryIDs({f.sample.router.id});
        const KdbxEntry& entry = c.onRouter ? f.sample.router : f.sample.github;
        const QPoint at = f.list().buttonRect(f.rowOf(entry), c.button).center();
        QTest::mouseClick(f.list().viewport(), Qt::LeftButton, {}, at);
        c.check(f);
        EXPECT_EQ(f.state->selectedEntryIDs(), (UUIDSet{f.sample.router.id})) << c.note;
        EXPECT_EQ(f.list().interaction().hoveredRow, f.rowOf(entry)) << c.note;
    }
}

TEST(EntryList, ButtonTooltipsAndDisabledKeyboardForAutoTypeOff) {
    ListFixture f;
    f.state->setSelectedGroupID(f.sample.mail.id);
    const QModelIndex outlook = f.view.model().index(*f.view.model().rowOf(f.sample.outlook.id));
    EXPECT_FALSE(EntryRowDelegate::isEnabled(EntryRowDelegate::Button::autoType, outlook));
    EXPECT_TRUE(EntryRowDelegate::isEnabled(EntryRowDelegate::Button::password, outlook));
    EXPECT_EQ(text(EntryRowDelegate::tooltip(EntryRowDelegate::Button::username)), "Kullanıcı adını kopyala");
    EXPECT_EQ(text(EntryRowDelegate::tooltip(EntryRowDelegate::Button::password)), "Parolayı kopyala");
    EXPECT_EQ(text(EntryRowDelegate::tooltip(EntryRowDelegate::Button::autoType)), "Otomatik yaz");
    QTest::mouseClick(f.list().viewport(), Qt::LeftButton, {},
                      f.list().buttonRect(outlook.row(), EntryRowDelegate::Button::autoType).center());
    EXPECT_TRUE(f.harness.autoType->runs.empty());
}

TEST(EntryList, DoubleClickOpensTheEditorWhenTheSecondPressComesUp) {
    ListFixture f;
    QWidget* viewport = f.list().viewport();
    const QPoint at = f.rowCenter(f.sample.router);
    // What a double click delivers: press, release, press, double click, release.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mousePress(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    EXPECT_FALSE(f.state->route());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    EXPECT_EQ(f.state->route(), Route::editEntry(f.sample.router.id));

    // The third click of a triple click opens nothing again.
    f.state->setRoute(std::nullopt);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    EXPECT_FALSE(f.state->route());

    // A double click on a quick-action button is two presses of that button.
    const QPoint button =
        f.list().buttonRect(f.rowOf(f.sample.github), EntryRowDelegate::Button::password).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, button);
    QTest::mousePress(viewport, Qt::LeftButton, {}, button);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, button);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, button);
    EXPECT_FALSE(f.state->route());
    EXPECT_EQ(f.harness.clipboard->copies.size(), 2u);
}

TEST(EntryList, ContextMenu) {
    ListFixture f;
    f.state->setSelectedEntryIDs({f.sample.router.id});
    // The router has no user name and an address: every item stays enabled but the two
    // address items need an address, which it has.
    {
        const auto menu = f.list().makeContextMenu(f.rowOf(f.sample.router));
        EXPECT_EQ(
            actionTexts(*menu).join("|"),
            "Kullanıcı adını kopyala|Parolayı kopyala|Adresi kopyala|—|Otomatik yaz|Adresi tarayıcıda aç|—|"
            "Düzenle…|Çoğalt|Taşı…|—|Sil");
        for (QAction* action : menu->actions()) EXPECT_TRUE(action->isEnabled()) << text(action->text());
        actionNamed(*menu, "Düzenle…")->trigger();
        EXPECT_EQ(f.state->route(), Route::editEntry(f.sample.router.id));
        actionNamed(*menu, "Kullanıcı adını kopyala")->trigger();
        EXPECT_EQ(f.harness.clipboard->copies.size(), 1u);  // an empty user name is copied too
    }
    f.state->setSelectedGroupID(f.sample.mail.id);
    {
        const auto menu = f.list().makeContextMenu(*f.view.model().rowOf(f.sample.outlook.id));
        EXPECT_FALSE(actionNamed(*menu, "Adresi kopyala")->isEnabled());
        EXPECT_FALSE(actionNamed(*menu, "Adresi tarayıcıda aç")->isEnabled());
        EXPECT_TRUE(actionNamed(*menu, "Otomatik yaz")->isEnabled());
    }
}

TEST(EntryList, ContextMenuDuplicateAndDeleteTargets) {
    {
        // An unselected row acts alone, and deleting it still empties the selection.
        ListFixture f;
        f.state->setSelectedEntryIDs({f.sample.router.id});
        const auto menu = f.list().makeContextMenu(f.rowOf(f.sample.github));
        actionNamed(*menu, "Sil")->trigger();
        EXPECT_EQ(f.state->undoLabel(), QStringLiteral("Kaydı Sil"));
        EXPECT_TRUE(f.state->selectedEntryIDs().empty());
        EXPECT_TRUE(GroupTree::findEntry(f.storedRoot(), f.sample.router.id));
        EXPECT_FALSE(GroupTree::findEntry(f.storedRoot(), f.sample.github.id));
    }
    {
        // A row of a multiple selection duplicates the whole selection.
        ListFixture f;
        f.state->setSelectedEntryIDs({f.sample.router.id, f.sample.github.id});
        const auto menu = f.list().makeContextMenu(f.rowOf(f.sample.github));
        actionNamed(*menu, "Çoğalt")->trigger();
        EXPECT_EQ(f.state->undoLabel(), QStringLiteral("Kayıtları Çoğalt"));
        EXPECT_EQ(f.storedRoot().entries.size(), 4u);
        EXPECT_EQ(f.state->selectedEntryIDs().size(), 2u);
    }
}

TEST(EntryList, DropsOnRows) {
    struct Case {
        const char* note;
        std::function<QString(Fixture&)> payload;
        bool searching;
        bool accepted;
        bool reordered;
    };
    const Case cases[] = {
        {"an entry of the list", [](Fixture& f) { return uuidText(f.sample.github); }, false, true, true},
        {"with a line that is not an id",
         [](Fixture& f) { return QStringLiteral("notlar.txt\r\n") + uuidText(f.sample.github) + "\r\n"; },
         false, true, true},
        {"lower-case ids parse too", [](Fixture& f) { return uuidText(f.sample.github).toLower(); }, false,
         true, true},
        {"text without an id is refused", [](Fixture&) { return QStringLiteral("notlar.txt"); }, false, false,
         false},
        {"an entry of another group changes nothing", [](Fixture& f) { return uuidText(f.sample.gmail); },
         false, true, false},
        {"the row's own entry changes nothing", [](Fixture& f) { return uuidText(f.sample.router); }, false,
         true, false},
        {"nothing moves while searching", [](Fixture& f) { return uuidText(f.sample.github); }, true, true,
         false},
    };
    for (const Case& c : cases) {
        ListFixture f;
        // Sorted by title, "Ev yönlendiricisi" lists before "GitHub"; dropping GitHub on it swaps them.
        f.state->setSort({EntrySort::Column::title, true});
        if (c.searching) f.state->setSearchText(QStringLiteral("i"));
        ASSERT_TRUE(f.view.model().rowOf(f.sample.router.id)) << c.note;
        const bool accepted = drop(f.list().viewport(), f.rowCenter(f.sample.router), c.payload(f));
        EXPECT_EQ(accepted, c.accepted) << c.note;
        if (!c.searching) {
            const std::vector<std::string> expected =
                c.reordered ? std::vector<std::string>{"GitHub", "Ev yönlendiricisi"}
                            : std::vector<std::string>{"Ev yönlendiricisi", "GitHub"};
            EXPECT_EQ(fakes::titles(f.state->visibleEntries()), expected) << c.note;
        }
        EXPECT_EQ(f.state->sort().column, c.reordered ? EntrySort::Column::manual : EntrySort::Column::title)
            << c.note;
        EXPECT_EQ(
            f.state->statusMessage(),
            c.reordered ? std::optional<QString>(QStringLiteral("Kendi sıralamana geçildi.")) : std::nullopt)
            << c.note;
        EXPECT_FALSE(c.reordered && !f.state->canUndo()) << c.note;
    }
}

TEST(EntryList, DragOverARowMarksIt) {
    ListFixture f;
    QMimeData data;
    data.setText(QStringLiteral("herhangi bir metin"));
    const QPoint at = f.rowCenter(f.sample.router);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.list().viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(f.list().interaction().dropRow, f.rowOf(f.sample.router));
    QDragLeaveEvent leave;
    QApplication::sendEvent(f.list().viewport(), &leave);
    EXPECT_EQ(f.list().interaction().dropRow, -1);
}

namespace {

// Presses the left button on `pos` of the list and moves it far enough to start a drag. Tells
// the text the drag carries (empty when none started). The drag is cancelled at once.
QString dragText(EntryList& list, const QPoint& pos) {
    QString carried;
    const auto capture = [&] {
        if (auto* drag = list.findChild<QDrag*>(); drag && carried.isEmpty() && drag->mimeData())
            carried = drag->mimeData()->text();
        QDrag::cancel();
    };
    // Read while the drag's own event loop runs, where the platform has one.
    QTimer::singleShot(0, &list, capture);
    QWidget* viewport = list.viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, pos);
    for (int step = 1; step <= 3; ++step) {
        const QPointF to = pos + QPoint(0, step * QApplication::startDragDistance());
        QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    capture();
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, pos);
    return carried;
}

}  // namespace

TEST(EntryList, ARowsDragCarriesOnlyThatRow) {
    struct Case {
        const char* note;
        bool bothSelected;
    };
    const Case cases[] = {{"one of two selected rows", true}, {"an unselected row", false}};
    for (const Case& c : cases) {
        ListFixture f;
        if (c.bothSelected) f.state->setSelectedEntryIDs({f.sample.github.id, f.sample.router.id});
        settle();
        const QString carried = dragText(f.list(), f.rowCenter(f.sample.router));
        EXPECT_EQ(text(carried), text(uuidText(f.sample.router))) << c.note;

        // Dropped on a group, only the dragged entry moves.
        GroupTreeView tree(*f.state);
        tree.resize(210, 400);
        tree.show();
        settle();
        const QRect mail = tree.tree()->visualRect(tree.model().indexOf(f.sample.mail.id));
        ASSERT_TRUE(drop(tree.tree()->viewport(), mail.center(), carried)) << c.note;
        const KdbxGroup& root = f.state->database()->root;
        EXPECT_TRUE(GroupTree::findGroupContainingEntry(root, f.sample.router.id)->id == f.sample.mail.id)
            << c.note;
        EXPECT_TRUE(GroupTree::findGroupContainingEntry(root, f.sample.github.id)->id == root.id) << c.note;
    }
}

TEST(EntryList, RowFillsAndQuickActionsFollowWithTheThemesMotion) {
    ListFixture f;
    probe::MotionOn on;
    const int row = f.rowOf(f.sample.router);
    const EntryRowDelegate::Layout l =
        EntryRowDelegate::layout(f.list().rowRect(row), f.view.model().index(row));
    // A point of the row's fill beside its icon, and the key button.
    const QPoint fill(qRound(l.background.left()) + 3, qRound(l.background.center().y()));
    const QRect key = f.list().buttonRect(row, EntryRowDelegate::Button::password);
    const auto shot = [&] { return f.list().viewport()->grab().toImage(); };

    const QPointF at = f.rowCenter(f.sample.router);
    QMouseEvent move(QEvent::MouseMove, at, f.list().viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(f.list().viewport(), &move);
    ASSERT_EQ(f.list().interaction().hoveredRow, row);
    // The hover starts from rest: no fill yet and the quick actions still invisible...
    QImage image = shot();
    EXPECT_TRUE(probe::colorNear(probe::pixel(image, fill.x(), fill.y()), Palette::canvas));
    EXPECT_FALSE(probe::containsColor(image, key, Palette::textSoft, 24));
    // ...and arrives at the hover fill with the buttons shown.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            image = shot();
            return probe::colorNear(probe::pixel(image, fill.x(), fill.y()), Palette::hover);
        },
        2000));
    EXPECT_TRUE(probe::containsColor(image, key, Palette::textSoft, 24));

    // Selecting moves from the hover fill to the selection fill.
    f.state->setSelectedEntryIDs({f.sample.router.id});
    EXPECT_TRUE(probe::colorNear(probe::pixel(shot(), fill.x(), fill.y()), Palette::hover));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return probe::colorNear(probe::pixel(shot(), fill.x(), fill.y()),
                                    probe::over(Palette::selection, Palette::canvas));
        },
        2000));
}
