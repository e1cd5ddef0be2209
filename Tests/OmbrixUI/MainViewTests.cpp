#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <functional>

#include "OmbrixState/GroupTree.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/EntryDetailPane.h"
#include "OmbrixUI/EntryDetailView.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/EntryListView.h"
#include "OmbrixUI/GroupEditView.h"
#include "OmbrixUI/GroupOutlineView.h"
#include "OmbrixUI/GroupTreeModel.h"
#include "OmbrixUI/GroupTreeView.h"
#include "OmbrixUI/MainToolbar.h"
#include "OmbrixUI/MainView.h"
#include "OmbrixUI/MultiSelectionSummary.h"
#include "OmbrixUI/SearchField.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/StatusBar.h"
#include "Support/MainWindowFixture.h"
#include "Support/MenuKeys.h"
#include "Support/WidgetProbe.h"

using namespace mainwindow;

namespace {

struct ViewFixture : Fixture {
    explicit ViewFixture(bool openDatabase = true) : Fixture(openDatabase) {
        view = std::make_unique<MainView>(*state, clipboard);
        view->resize(1020, 680);
        view->show();
        QApplication::setActiveWindow(view.get());
        settle();
    }

    MainToolbar& toolbar() { return *view->toolbar(); }
    QAction* menuItem(const char* name) { return toolbar().menuAction(QString::fromUtf8(name)); }

    std::unique_ptr<MainView> view;
};

}  // namespace

TEST(MainView, WindowTitleCarriesTheSubtitle) {
    struct Case {
        const char* note;
        bool open;
        std::function<void(Fixture&)> setup;
        const char* subtitle;
        const char* windowTitle;
    };
    const Case cases[] = {
        {"entries of every group count", true, [](Fixture&) {}, "5 kayıt", "Kasa — 5 kayıt"},
        {"unsaved changes", true, [](Fixture& f) { f.makeDirty(); }, "5 kayıt · kaydedilmedi",
         "Kasa — 5 kayıt · kaydedilmedi"},
        {"saved again", true,
         [](Fixture& f) {
             f.makeDirty();
             f.state->save();
         },
         "5 kayıt", "Kasa — 5 kayıt"},
        {"an empty database", true,
         [](Fixture& f) {
             f.state->deleteEntries({f.sample.github.id, f.sample.router.id, f.sample.gmail.id,
                                     f.sample.outlook.id, f.sample.card.id});
         },
         "0 kayıt · kaydedilmedi", "Kasa — 0 kayıt · kaydedilmedi"},
        {"no database", false, [](Fixture&) {}, "", "Ombrix"},
    };
    for (const Case& c : cases) {
        Fixture f(c.open);
        MainView view(*f.state, f.clipboard);
        QString announced;
        QObject::connect(&view, &MainView::windowTitleTextChanged, [&](const QString& t) { announced = t; });
        c.setup(f);
        EXPECT_EQ(view.subtitle().toStdString(), c.subtitle) << c.note;
        EXPECT_EQ(view.windowTitleText().toStdString(), c.windowTitle) << c.note;
        EXPECT_EQ(view.windowTitle().toStdString(), c.windowTitle) << c.note;
        if (!announced.isEmpty()) {
            EXPECT_EQ(announced.toStdString(), c.windowTitle) << c.note;
        }
    }
}

// Counts are written as the database writes its figures, grouped in thousands: "10.000 kayıt",
// wherever the window says how many.
TEST(MainView, CountsAreGroupedInThousands) {
    std::vector<KdbxEntry> many;
    for (int i = 0; i < 10000; ++i) many.push_back(fakes::entry("Kayıt " + std::to_string(i)));
    const KdbxGroup archive = fakes::group("Arşiv", many);
    Fixture f(false);
    fakes::open(f.harness, *f.state, fakes::database(fakes::group("Kasa", {}, {archive})));
    MainView view(*f.state, f.clipboard);
    view.resize(1020, 680);
    view.show();
    f.state->setSelectedGroupID(archive.id);
    settle();
    EXPECT_EQ(view.windowTitleText().toStdString(), "Kasa — 10.000 kayıt");
    EXPECT_EQ(view.entryList()->header()->subtitle().value_or(QString()).toStdString(), "10.000 kayıt");
    EXPECT_EQ(view.statusBar()->countLabel()->text().toStdString(), "10.000 kayıt");

    UUIDSet chosen;
    for (int i = 0; i < 1234; ++i) chosen.insert(many[std::size_t(i)].id);
    f.state->setSelectedEntryIDs(chosen);
    settle();
    ASSERT_NE(view.detailPane()->summary(), nullptr);
    EXPECT_EQ(view.detailPane()->summary()->notice()->titleLabel()->text().toStdString(),
              "1.234 kayıt seçildi");

    f.state->setSearchText(QStringLiteral("Kayıt"));
    settle();
    EXPECT_EQ(view.entryList()->header()->subtitle().value_or(QString()).toStdString(),
              "“Kayıt” · 10.000 eşleşme");

    GroupEditView editor(*f.state, GroupEditView::Mode::edit(archive), &view);
    ASSERT_NE(editor.deleteNote(), nullptr);
    EXPECT_EQ(editor.deleteNote()->text().toStdString(), "10.000 kayıt ve tüm alt gruplar silinir.");
}

TEST(MainView, ThreeColumnsAtTheirWidths) {
    ViewFixture f;
    QSplitter& splitter = *f.view->splitter();
    ASSERT_EQ(splitter.count(), 3);
    EXPECT_EQ(splitter.widget(0), f.view->groupTree());
    EXPECT_EQ(splitter.widget(1), f.view->entryList());
    EXPECT_EQ(splitter.widget(2), f.view->detailPane());
    const QList<int> sizes = splitter.sizes();
    EXPECT_EQ(sizes[0], MainView::sidebarIdeal);
    EXPECT_EQ(sizes[1], MainView::listIdeal);
    EXPECT_GE(sizes[2], MainView::detailMinimum);
    EXPECT_EQ(f.view->groupTree()->minimumWidth(), 168);
    EXPECT_EQ(f.view->groupTree()->maximumWidth(), 320);
    EXPECT_EQ(f.view->entryList()->minimumWidth(), 250);
    EXPECT_EQ(f.view->entryList()->maximumWidth(), 560);
    EXPECT_GE(f.view->detailPane()->minimumWidth(), 280);
    // The list has the keyboard once the window is active.
    EXPECT_TRUE(f.view->entryList()->list()->hasFocus());
}

TEST(MainToolbar, SelectedEntryItemsNeedExactlyOneExistingEntry) {
    struct Case {
        const char* note;
        std::function<UUIDSet(Fixture&)> selection;
        bool enabled;
    };
    const Case cases[] = {
        {"nothing selected", [](Fixture&) { return UUIDSet{}; }, false},
        {"one entry", [](Fixture& f) { return UUIDSet{f.sample.gmail.id}; }, true},
        {"two entries",
         [](Fixture& f) {
             return UUIDSet{f.sample.gmail.id, f.sample.github.id};
         },
         false},
        {"one id of no entry", [](Fixture&) { return UUIDSet{UUID::random()}; }, false},
    };
    for (const Case& c : cases) {
        Fixture f;
        MainToolbar toolbar(*f.state, f.clipboard);
        f.state->setSelectedEntryIDs(c.selection(f));
        for (const char* item : {"Kullanıcı adını kopyala", "Parolayı kopyala", "Otomatik yaz"})
            EXPECT_EQ(toolbar.menuAction(QString::fromUtf8(item))->isEnabled(), c.enabled)
                << c.note << ": " << item;
        for (const char* item : {"Yeni grup…", "Parola üret…"})
            EXPECT_TRUE(toolbar.menuAction(QString::fromUtf8(item))->isEnabled()) << c.note << ": " << item;
    }
}

TEST(MainToolbar, MenuItemsActOnTheFocusedEntry) {
    ViewFixture f;
    f.state->setSelectedGroupID(f.sample.mail.id);
    f.state->setSelectedEntryIDs({f.sample.gmail.id});
    f.menuItem("Kullanıcı adını kopyala")->trigger();
    f.menuItem("Parolayı kopyala")->trigger();
    ASSERT_EQ(f.harness.clipboard->copies.size(), 2u);
    EXPECT_TRUE(f.harness.clipboard->copies[0].text == QStringLiteral("ayse@gmail.com"));
    EXPECT_TRUE(f.harness.clipboard->copies[1].text == QStringLiteral("gm-parola"));
    f.menuItem("Otomatik yaz")->trigger();
    ASSERT_EQ(f.harness.autoType->runs.size(), 1u);
    EXPECT_EQ(f.harness.autoType->runs[0].entry.id, f.sample.gmail.id);
    f.menuItem("Parola üret…")->trigger();
    EXPECT_EQ(f.state->route(), Route::generator());
}

TEST(MainToolbar, NewEntryAndNewGroupTargetTheSelectedGroupElseTheRoot) {
    struct Trigger {
        const char* note;
        std::function<void(ViewFixture&)> run;
        bool entry;
    };
    const Trigger triggers[] = {
        {"toolbar plus", [](ViewFixture& f) { f.toolbar().newEntryButton()->click(); }, true},
        {"list header plus", [](ViewFixture& f) { f.view->entryList()->newEntryButton()->click(); }, true},
        {"menu new group", [](ViewFixture& f) { f.menuItem("Yeni grup…")->trigger(); }, false},
        {"sidebar new group", [](ViewFixture& f) { f.view->groupTree()->newGroupButton()->click(); }, false},
    };
    for (const Trigger& t : triggers) {
        for (bool groupSelected : {true, false}) {
            ViewFixture f;
            f.state->setSelectedGroupID(groupSelected ? std::optional<UUID>(f.sample.banks.id)
                                                      : std::nullopt);
            t.run(f);
            const UUID target = groupSelected ? f.sample.banks.id : f.state->database()->root.id;
            EXPECT_EQ(f.state->route(), t.entry ? Route::newEntry(target) : Route::newGroup(target))
                << t.note << (groupSelected ? " with a group" : " without a group");
        }
    }
}

TEST(MainToolbar, SaveFollowsUnsavedChanges) {
    ViewFixture f;
    QAbstractButton* save = f.toolbar().saveButton();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(f.toolbar().saveTint(), Palette::textSoft);
    f.makeDirty();
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(f.toolbar().saveTint(), Palette::accent);
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_FALSE(f.state->isDirty());
    EXPECT_EQ(f.state->statusMessage(), QStringLiteral("Kaydedildi"));
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(f.toolbar().saveTint(), Palette::textSoft);
}

TEST(MainToolbar, ClearClipboardOnlyDuringACountdown) {
    ViewFixture f;
    QAction* clear = f.menuItem("Panoyu temizle");
    EXPECT_FALSE(clear->isEnabled());
    f.clipboard.copySecret(QStringLiteral("gizli"));
    EXPECT_TRUE(clear->isEnabled());
    EXPECT_FALSE(f.view->statusBar()->countdown()->isHidden());
    clear->trigger();
    EXPECT_EQ(f.clipboard.secondsRemaining(), 0);
    EXPECT_TRUE(f.view->statusBar()->countdown()->isHidden());
    EXPECT_FALSE(clear->isEnabled());
}

TEST(MainToolbar, LockAndTooltips) {
    ViewFixture f;
    const std::pair<QWidget*, const char*> tips[] = {
        {f.toolbar().newEntryButton(), "Yeni kayıt (Ctrl+I)"},
        {f.toolbar().moreButton(), "Diğer işlemler"},
        {f.toolbar().saveButton(), "Kaydet (Ctrl+S)"},
        {f.toolbar().lockButton(), "Kasayı kilitle (Ctrl+L)"},
    };
    for (const auto& [widget, tip] : tips) EXPECT_EQ(widget->toolTip().toStdString(), tip);
    f.toolbar().lockButton()->click();
    EXPECT_TRUE(f.state->isLocked());
}

TEST(MainToolbar, SearchFieldIsBoundToTheSearch) {
    ViewFixture f;
    SearchField& search = *f.toolbar().searchField();
    EXPECT_EQ(search.placeholder().toStdString(), "Kayıtlarda ara");
    QTest::keyClicks(search.lineEdit(), QStringLiteral("mail"));
    EXPECT_EQ(f.state->searchText(), QStringLiteral("mail"));
    f.state->setSearchText(QStringLiteral("kart"));
    EXPECT_EQ(search.text(), QStringLiteral("kart"));

    // The Find command asks for the focus each time.
    f.view->entryList()->list()->setFocus();
    f.state->focusSearch();
    EXPECT_TRUE(search.lineEdit()->hasFocus());
    f.view->entryList()->list()->setFocus();
    f.state->focusSearch();
    EXPECT_TRUE(search.lineEdit()->hasFocus());
}

TEST(MainView, CtrlCCopiesThePasswordOnlyWhileTheListHasTheFocus) {
    ViewFixture f;
    f.state->setSelectedEntryIDs({f.sample.github.id});
    QLineEdit* search = f.toolbar().searchField()->lineEdit();
    search->setText(QStringLiteral("git"));
    search->setFocus();
    search->selectAll();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(f.harness.clipboard->copies.empty());

    f.view->entryList()->list()->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), f.view->entryList()->list());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
    ASSERT_EQ(f.harness.clipboard->copies.size(), 1u);
    EXPECT_TRUE(f.harness.clipboard->copies[0].secret);
}

TEST(MainView, DetailColumnIsOnTheSurfaceWhateverItShows) {
    struct Case {
        const char* note;
        std::function<UUIDSet(const Sample&)> selection;
    };
    const Case cases[] = {
        {"nothing selected", [](const Sample&) { return UUIDSet{}; }},
        {"one entry", [](const Sample& s) { return UUIDSet{s.github.id}; }},
        {"two entries",
         [](const Sample& s) {
             return UUIDSet{s.github.id, s.router.id};
         }},
        {"a missing entry", [](const Sample&) { return UUIDSet{UUID::random()}; }},
    };
    for (const Case& c : cases) {
        ViewFixture f;
        f.state->setSelectedEntryIDs(c.selection(f.sample));
        settle();
        const QImage shot = f.view->grab().toImage();
        const QRect pane(f.view->detailPane()->mapTo(f.view.get(), QPoint(0, 0)),
                         f.view->detailPane()->size());
        // The column's left margin, beside the cards and texts, halfway down.
        EXPECT_TRUE(
            probe::colorNear(probe::pixel(shot, pane.left() + 4, pane.center().y()), Palette::surface))
            << c.note;
        // The hairline between the list and the detail column.
        EXPECT_TRUE(probe::colorNear(probe::pixel(shot, pane.left() - 1, pane.center().y()), Palette::line))
            << c.note;
    }
}

TEST(MainView, HiddenSidebarGivesItsWidthToTheOtherColumns) {
    ViewFixture f;
    ASSERT_TRUE(f.view->isSidebarVisible());
    const auto leftEdge = [&] {
        settle();
        const QImage shot = f.view->grab().toImage();
        const int y =
            f.view->splitter()->mapTo(f.view.get(), QPoint(0, 0)).y() + f.view->splitter()->height() / 2;
        return probe::pixel(shot, 2, y);
    };
    EXPECT_TRUE(probe::colorNear(leftEdge(), Palette::surface)) << "the sidebar";
    const int listLeft = f.view->entryList()->mapTo(f.view.get(), QPoint(0, 0)).x();

    f.view->setSidebarVisible(false);
    settle();
    EXPECT_FALSE(f.view->isSidebarVisible());
    EXPECT_EQ(f.view->entryList()->mapTo(f.view.get(), QPoint(0, 0)).x(), 0);
    EXPECT_TRUE(probe::colorNear(leftEdge(), Palette::canvas)) << "the list";

    f.view->setSidebarVisible(true);
    settle();
    EXPECT_TRUE(f.view->isSidebarVisible());
    EXPECT_EQ(f.view->entryList()->mapTo(f.view.get(), QPoint(0, 0)).x(), listLeft);
}

TEST(MainView, DownInTheSearchFieldGoesToTheFirstResult) {
    ViewFixture f;
    QLineEdit* search = f.toolbar().searchField()->lineEdit();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("gmail"));
    QTest::keyClick(search, Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), f.view->entryList()->list());
    EXPECT_EQ(f.state->selectedEntryIDs(), (std::set<UUID>{f.sample.gmail.id}));
    // Return there copies that entry's password, as it does in the list.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(f.harness.clipboard->copies.size(), 1u);
    EXPECT_EQ(f.harness.clipboard->copies[0].text, QStringLiteral("gm-parola"));

    // With no result the key stays in the field.
    search->setFocus();
    search->setText(QStringLiteral("yok böyle bir kayıt"));
    QTest::keyClick(search, Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), search);
}

// Two long groups and a search that matches in both. Another group or another search opens at
// its first row; a change that leaves the same group or search listed keeps the place.
TEST(MainView, ANewGroupOrSearchOpensAtTheTop) {
    std::vector<KdbxEntry> first, second;
    for (int i = 0; i < 120; ++i) {
        first.push_back(fakes::entry("Birinci " + std::to_string(i), "ayse"));
        second.push_back(fakes::entry("İkinci " + std::to_string(i), "ayse"));
    }
    const KdbxGroup one = fakes::group("Bölüm 1", first);
    const KdbxGroup two = fakes::group("Bölüm 2", second);
    Fixture f(false);
    fakes::open(f.harness, *f.state, fakes::database(fakes::group("Kasa", {}, {one, two})));
    MainView view(*f.state, f.clipboard);
    view.resize(1020, 680);
    view.show();
    QApplication::setActiveWindow(&view);
    settle();
    EntryList* list = view.entryList()->list();
    GroupOutlineView* tree = view.groupTree()->tree();

    const auto clickGroup = [&](const KdbxGroup& group) {
        const QRect row = tree->visualRect(view.groupTree()->model().indexOf(group.id));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row.center());
        settle();
    };
    // Wheels the list down a good way, short of its end.
    const auto scrollDown = [&] {
        const QPointF at(list->viewport()->width() / 2.0, list->viewport()->height() / 2.0);
        for (int i = 0; i < 4; ++i) {
            QWheelEvent wheel(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list->viewport(), &wheel);
        }
        settle();
        ASSERT_GT(list->verticalScrollBar()->value(), 0);
        ASSERT_LT(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
    };
    // The title of the row at the top of the list.
    const auto topRow = [&] {
        const QModelIndex index = list->indexAt(QPoint(list->viewport()->width() / 2, 4));
        return index.data(EntryListModel::TitleRole).toString().toStdString();
    };

    clickGroup(one);
    ASSERT_EQ(topRow(), "Birinci 0");
    scrollDown();
    const std::string place = topRow();
    ASSERT_NE(place, "Birinci 0");

    // Within the same group the place stays, also when the rows change below it.
    f.state->deleteEntries({f.state->visibleEntries().back().id});
    settle();
    EXPECT_EQ(topRow(), place) << "the same group";

    clickGroup(two);
    EXPECT_EQ(topRow(), "İkinci 0") << "another group";

    scrollDown();
    QLineEdit* search = view.toolbar()->searchField()->lineEdit();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("1"));
    settle();
    EXPECT_EQ(topRow(), "Birinci 1") << "a new search";
    scrollDown();
    QTest::keyClicks(search, QStringLiteral("1"));
    settle();
    EXPECT_EQ(topRow(), "Birinci 11") << "another search";
}

// Two entries selected, one dragged to another group: it leaves the list and the selection, and
// what the list still shows is all that the commands act on.
TEST(MainView, AnEntryThatLeavesTheListLeavesTheSelection) {
    ViewFixture f;
    EntryList* list = f.view->entryList()->list();
    const auto rowCentre = [&](const KdbxEntry& e) {
        return list->rowRect(*f.view->entryList()->model().rowOf(e.id)).center();
    };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(f.sample.github));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(f.sample.router));
    ASSERT_EQ(f.view->detailPane()->content(), EntryDetailPane::Content::multipleEntries);

    GroupOutlineView* tree = f.view->groupTree()->tree();
    const QRect mail = tree->visualRect(f.view->groupTree()->model().indexOf(f.sample.mail.id));
    ASSERT_TRUE(drop(tree->viewport(), mail.center(), uuidText(f.sample.github)));
    settle();

    EXPECT_EQ(f.state->selectedEntryIDs(), (UUIDSet{f.sample.router.id}));
    EXPECT_EQ(list->selectionModel()->selectedIndexes().size(), 1);
    ASSERT_EQ(f.view->detailPane()->content(), EntryDetailPane::Content::entry)
        << "the detail shows the one entry still selected";
    EXPECT_EQ(f.view->detailPane()->detailView()->entry().id, f.sample.router.id);

    // Delete takes what the list shows selected, and nothing else.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(f.state->undoLabel(), std::optional<QString>(QStringLiteral("Kaydı Sil")));
    EXPECT_NE(GroupTree::findEntry(f.state->database()->root, f.sample.github.id), nullptr);
    EXPECT_EQ(GroupTree::findEntry(f.state->database()->root, f.sample.router.id), nullptr);

    // A search that no longer matches a selected entry takes it out as well.
    f.state->setSearchText(QString());
    f.state->setSelectedGroupID(f.sample.mail.id);
    f.state->setSelectedEntryIDs({f.sample.gmail.id, f.sample.outlook.id});
    QLineEdit* search = f.toolbar().searchField()->lineEdit();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("outlook"));
    settle();
    EXPECT_EQ(f.state->selectedEntryIDs(), (UUIDSet{f.sample.outlook.id}));
    EXPECT_EQ(f.view->detailPane()->content(), EntryDetailPane::Content::entry);
}

namespace {

// What a person reads on the control that has the keyboard.
std::string describeFocus() {
    QWidget* w = QApplication::focusWidget();
    if (!w) return "(hiç)";
    if (qobject_cast<EntryList*>(w)) return "kayıt listesi";
    if (qobject_cast<GroupOutlineView*>(w)) return "grup ağacı";
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return "alan: " + edit->placeholderText().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return (button->text().isEmpty() ? button->toolTip() : button->text()).toStdString();
    return w->metaObject()->className();
}

}  // namespace

// Tab walks every control of the window in the order they stand (detail, toolbar, sidebar with
// its tree, list header, list), and only controls that show that they have the keyboard.
TEST(MainView, TabReachesEveryControlAndTheGroupTree) {
    ViewFixture f;
    f.state->setSelectedEntryIDs({f.sample.github.id});
    settle();
    EntryList* list = f.view->entryList()->list();
    list->setFocus(Qt::OtherFocusReason);
    const std::vector<std::string> expected = {
        "kayıt listesi",
        "Düzenle (Ctrl+E)",
        "Kullanıcı",
        "Parola",
        "Otomatik yaz",
        "Kopyala",
        "Göster",
        "Kopyala",
        "Kopyala",
        "Aç",
        "alan: Kayıtlarda ara",
        "Yeni kayıt (Ctrl+I)",
        "Diğer işlemler",
        "Kasayı kilitle (Ctrl+L)",
        "Yeni grup (Ctrl+Shift+G)",
        "grup ağacı",
        "Sıralama: Başlık",
        "Yeni kayıt (Ctrl+I)",
    };
    std::vector<std::string> walked;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        walked.push_back(describeFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(QApplication::focusWidget(), list) << "round to the list again, got " << describeFocus();

    // Shift+Tab walks back the same way.
    std::vector<std::string> back;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        back.push_back(describeFocus());
    }
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, expected);
}

// The keyboard path from the list: the context menu (Menu key or Shift+F10) moves the selected
// entries to a group chosen from "Taşı…".
TEST(MainView, SelectedEntriesMoveToAGroupFromTheKeyboard) {
    for (const MenuKey& c : contextMenuKeys) {
        ViewFixture f;
        EntryList* list = f.view->entryList()->list();
        list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
        ASSERT_EQ(f.state->selectedEntryIDs(), (UUIDSet{f.sample.github.id, f.sample.router.id})) << c.note;

        QStringList groups;
        bool chosen = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr) << c.note;
            for (int i = 0; i < 20 && (!menu->activeAction() || menu->activeAction()->text() != "Taşı…"); ++i)
                QTest::keyClick(menu, Qt::Key_Down);
            ASSERT_TRUE(menu->activeAction()) << c.note;
            ASSERT_EQ(menu->activeAction()->text(), "Taşı…") << c.note;
            QTest::keyClick(menu, Qt::Key_Right);
            auto* groupsMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(groupsMenu, nullptr) << c.note;
            ASSERT_NE(groupsMenu, menu) << c.note;
            for (QAction* action : groupsMenu->actions()) groups << action->text().trimmed();
            for (int i = 0; i < 20 && (!groupsMenu->activeAction() ||
                                       groupsMenu->activeAction()->text().trimmed() != "Kartlar");
                 ++i)
                QTest::keyClick(groupsMenu, Qt::Key_Down);
            chosen = groupsMenu->activeAction() && groupsMenu->activeAction()->text().trimmed() == "Kartlar";
            QTest::keyClick(groupsMenu, chosen ? Qt::Key_Return : Qt::Key_Escape);
            if (!chosen && QApplication::activePopupWidget()) QApplication::activePopupWidget()->close();
        });
        QTest::sendKeyEvent(QTest::Click, list, c.key, QString(), c.modifiers);
        settle();
        EXPECT_EQ(groups, (QStringList{"Kasa", "E-posta", "Bankalar", "Kartlar", "Boş grup"})) << c.note;
        ASSERT_TRUE(chosen) << c.note;
        EXPECT_EQ(f.state->undoLabel(), std::optional<QString>(QStringLiteral("Kayıtları Taşı"))) << c.note;
        const KdbxGroup* cards = GroupTree::findGroup(f.state->database()->root, f.sample.cards.id);
        ASSERT_NE(cards, nullptr);
        EXPECT_EQ(cards->entries.size(), 3u) << c.note;
        EXPECT_TRUE(f.state->selectedEntryIDs().empty()) << c.note << ": they left the list";
    }
}
