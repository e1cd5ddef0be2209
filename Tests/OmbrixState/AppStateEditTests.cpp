// The undo history and the entry and group operations.
#include <gtest/gtest.h>

#include "Support/AppStateFakes.h"

using namespace fakes;
using Column = EntrySort::Column;

namespace {

struct Opened {
    Harness h;
    std::unique_ptr<AppState> state;
    UUID root, work, home;
};

// Kök [Posta], İş [Sunucu, Yedek], Ev []
std::unique_ptr<Opened> openSample() {
    auto o = std::make_unique<Opened>();
    KdbxGroup work = group("İş", {entry("Sunucu", "root"), entry("Yedek", "yedek")});
    KdbxGroup home = group("Ev");
    KdbxGroup root = group("Kök", {entry("Posta", "ayse")}, {work, home});
    o->root = root.id, o->work = work.id, o->home = home.id;
    o->state = o->h.makeState();
    open(o->h, *o->state, database(root));
    return o;
}

const KdbxGroup& groupIn(const AppState& state, const UUID& id) {
    return *GroupTree::findGroup(state.database()->root, id);
}

UUID entryID(const AppState& state, const std::string& title) {
    UUID found;
    GroupTree::forEachEntry(state.database()->root, [&](const KdbxEntry& e) {
        if (e.title == title) found = e.id;
    });
    return found;
}

}  // namespace

TEST(AppStateUndo, KeepsFiftyStepsAndDropsTheOldest) {
    const auto o = openSample();
    AppState& s = *o->state;
    const UUID posta = entryID(s, "Posta");
    for (int i = 1; i <= 51; ++i) {
        KdbxEntry e = *GroupTree::entryWithID(s.database()->root, posta);
        e.title = "Posta " + std::to_string(i);
        s.update(e);
    }
    int undos = 0;
    while (s.canUndo()) {
        s.undo();
        ++undos;
    }
    EXPECT_EQ(undos, 50);
    EXPECT_EQ(GroupTree::entryWithID(s.database()->root, posta)->title, "Posta 1");  // the first step is gone
    const std::string before = GroupTree::entryWithID(s.database()->root, posta)->title;
    s.undo();
    EXPECT_EQ(GroupTree::entryWithID(s.database()->root, posta)->title, before);
    int redos = 0;
    while (s.canRedo()) {
        s.redo();
        ++redos;
    }
    EXPECT_EQ(redos, 50);
    EXPECT_EQ(GroupTree::entryWithID(s.database()->root, posta)->title, "Posta 51");
}

TEST(AppStateUndo, LabelsFollowTheirSteps) {
    const auto o = openSample();
    AppState& s = *o->state;
    EXPECT_FALSE(s.canUndo());
    s.addGroup(group("Yeni"), o->root);
    EXPECT_EQ(s.undoLabel(), "Grup Ekle");
    EXPECT_FALSE(s.redoLabel());
    EXPECT_TRUE(s.isDirty());
    s.save();
    s.undo();
    EXPECT_FALSE(s.undoLabel());
    EXPECT_EQ(s.redoLabel(), "Grup Ekle");
    EXPECT_TRUE(s.isDirty());  // also when the step leads back to the saved state
    s.redo();
    EXPECT_EQ(s.undoLabel(), "Grup Ekle");
    s.undo();
    s.deleteEntries({entryID(s, "Posta")});
    EXPECT_FALSE(s.canRedo());
    EXPECT_FALSE(s.redoLabel());
    EXPECT_EQ(s.undoLabel(), "Kaydı Sil");

    // A step that finds nothing to change still counts.
    s.save();
    s.update(entry("hiçbir yerde"));
    EXPECT_EQ(s.undoLabel(), "Kaydı Düzenle");
    EXPECT_TRUE(s.isDirty());
}

TEST(AppStateUndo, NothingIsRecordedWithoutADatabase) {
    Harness h;
    const auto s = h.makeState();
    bool called = false;
    s->edit("Boş", [&](KdbxDatabase&) { called = true; });
    EXPECT_FALSE(called);
    EXPECT_FALSE(s->canUndo());
    EXPECT_FALSE(s->isDirty());
}

TEST(AppStateUndo, RestoresTheSortColumnAndPrunesTheSelection) {
    const auto o = openSample();
    AppState& s = *o->state;
    s.setSort({Column::title, false});
    s.setSelectedGroupID(o->work);
    s.moveEntriesBefore({entryID(s, "Sunucu")}, entryID(s, "Yedek"));
    EXPECT_EQ(s.sort(), (EntrySort{Column::manual, false}));
    s.undo();
    EXPECT_EQ(s.sort(), (EntrySort{Column::title, false}));
    EXPECT_EQ(o->h.store->values().value("sortColumn"), "title");

    s.addEntry(entry("Yeni"), o->work);
    const UUID added = *s.selectedEntryIDs().begin();
    s.addGroup(group("Alt"), o->work);
    s.undo();
    EXPECT_EQ(s.selectedGroupID(), o->root);  // the added group is gone: the root is selected
    s.undo();
    EXPECT_FALSE(s.selectedEntryIDs().contains(added));
    EXPECT_TRUE(s.selectedEntryIDs().empty());
}

TEST(AppStateUndo, AnEditThenUndoIsWhatGetsSaved) {
    const auto o = openSample();
    AppState& s = *o->state;
    KdbxEntry e = *GroupTree::entryWithID(s.database()->root, entryID(s, "Posta"));
    e.title = "Değişti";
    s.update(e);
    s.undo();
    s.save();
    const auto reopened = o->h.makeState();
    reopened->prepare(*s.databaseURL());
    reopened->unlock("parola", std::nullopt);
    EXPECT_EQ(titles(reopened->database()->root), std::vector<std::string>{"Posta"});
    EXPECT_EQ(reopened->database()->root.entries[0].historyItems.size(), 0u);
}

TEST(AppStateEntries, AddingAppendsSelectsAndKeepsIdentifiersUnique) {
    const auto o = openSample();
    AppState& s = *o->state;
    o->h.tick(60s);
    KdbxEntry e = entry("Yeni");
    s.addEntry(e, o->work);
    EXPECT_EQ(titles(groupIn(s, o->work)), (std::vector<std::string>{"Sunucu", "Yedek", "Yeni"}));
    EXPECT_EQ(groupIn(s, o->work).modified, startTime + 60s);
    EXPECT_EQ(s.selectedEntryIDs(), UUIDSet{e.id});
    EXPECT_EQ(s.undoLabel(), "Kayıt Ekle");

    // The same entry again (an id already in the tree) becomes a second entry of its own, its
    // older version with it.
    KdbxEntry version = e;
    version.title = "Eski";
    e.historyItems = CowList<KdbxEntry>{version};
    s.addEntry(e, o->home);
    ASSERT_EQ(groupIn(s, o->home).entries.size(), 1u);
    const KdbxEntry& copy = groupIn(s, o->home).entries[0];
    const UUID second = copy.id;
    EXPECT_NE(second, e.id);
    ASSERT_EQ(copy.historyItems.size(), 1u);
    EXPECT_EQ(copy.historyItems[0].id, second);
    EXPECT_EQ(s.selectedEntryIDs(), UUIDSet{second});

    // A group that is gone: nothing recorded, the input is not silently dropped.
    const UUID gone = UUID::random();
    s.save();
    s.addEntry(entry("Kayıp"), gone);
    EXPECT_FALSE(s.isDirty());
    EXPECT_EQ(s.undoLabel(), "Kayıt Ekle");
    EXPECT_EQ(s.selectedEntryIDs(), UUIDSet{second});
    ASSERT_TRUE(s.lastError());
    EXPECT_TRUE(s.lastError()->startsWith("Kayıt eklenemedi"));
}

TEST(AppStateEntries, UpdatingKeepsThePreviousVersionWithinTheHistoryLimit) {
    struct Case {
        std::int64_t limit;
        std::size_t existing;
        std::size_t kept;
        const char* note;
    };
    const Case cases[] = {
        {10, 10, 10, "full history drops its oldest"},
        {10, 3, 4, "room left"},
        {0, 5, 1, "zero keeps the version just replaced"},
        {-1, 12, 13, "negative means no limit"},
    };
    for (const Case& c : cases) {
        Harness h;
        KdbxEntry stored = entry("Banka");
        std::vector<KdbxEntry> history;
        for (std::size_t i = 0; i < c.existing; ++i) {
            KdbxEntry v = stored;
            v.title = "sürüm " + std::to_string(i);
            history.push_back(v);
        }
        stored.historyItems = CowList<KdbxEntry>(history);
        KdbxDatabase db = database(group("Kök", {stored}));
        db.meta.historyMaxItems = c.limit;
        const auto s = h.makeState();
        open(h, *s, db);
        h.tick(90s);

        KdbxEntry edited = stored;
        edited.title = "Banka (yeni)";
        edited.historyItems = CowList<KdbxEntry>{entry("çağıranın geçmişi")};
        s->update(edited);
        const KdbxEntry& now = s->database()->root.entries[0];
        EXPECT_EQ(now.title, "Banka (yeni)") << c.note;
        EXPECT_EQ(now.modified, startTime + 90s) << c.note;
        ASSERT_EQ(now.historyItems.size(), c.kept) << c.note;
        EXPECT_EQ(now.historyItems.back().title, "Banka") << c.note;
        EXPECT_EQ(now.historyItems.back().historyItems.size(), 0u) << c.note;
        if (c.existing + 1 > c.kept && c.kept > 1) {
            EXPECT_EQ(now.historyItems.front().title, "sürüm " + std::to_string(c.existing + 1 - c.kept))
                << c.note;
        }
    }
}

TEST(AppStateEntries, DeletingNamesTheCountAndClearsTheSelection) {
    const auto o = openSample();
    AppState& s = *o->state;
    s.setSelectedEntryIDs({entryID(s, "Posta")});
    s.deleteEntries({});
    EXPECT_FALSE(s.canUndo());
    EXPECT_EQ(s.selectedEntryIDs().size(), 1u);

    s.deleteEntries({entryID(s, "Sunucu"), UUID::random()});
    EXPECT_EQ(s.undoLabel(), "2 Kaydı Sil");
    EXPECT_EQ(titles(groupIn(s, o->work)), std::vector<std::string>{"Yedek"});
    EXPECT_TRUE(s.selectedEntryIDs().empty());
    s.deleteEntries({entryID(s, "Posta")});
    EXPECT_EQ(s.undoLabel(), "Kaydı Sil");
    EXPECT_EQ(GroupTree::totalEntryCount(s.database()->root), 1);

    // Grouped in thousands, as every count the user reads.
    UUIDSet many{entryID(s, "Yedek")};
    while (many.size() < 1000) many.insert(UUID::random());
    s.deleteEntries(many);
    EXPECT_EQ(s.undoLabel(), "1.000 Kaydı Sil");
}

TEST(AppStateEntries, DuplicatesGetNewIdentifiersInTheirOwnGroup) {
    const auto o = openSample();
    AppState& s = *o->state;
    KdbxEntry withHistory = *GroupTree::entryWithID(s.database()->root, entryID(s, "Sunucu"));
    withHistory.password = SecureString("gizli");
    s.update(withHistory);
    o->h.tick(30s);
    const UUID sunucu = entryID(s, "Sunucu");
    const UUID yedek = entryID(s, "Yedek");

    s.duplicateEntries({sunucu});
    EXPECT_EQ(s.undoLabel(), "Kaydı Çoğalt");
    const KdbxGroup& work = groupIn(s, o->work);
    ASSERT_EQ(titles(work), (std::vector<std::string>{"Sunucu", "Yedek", "Sunucu kopya"}));
    const KdbxEntry& copy = work.entries[2];
    EXPECT_NE(copy.id, sunucu);
    EXPECT_EQ(copy.username, "root");
    EXPECT_EQ(copy.password.value(), "gizli");
    EXPECT_EQ(copy.historyItems.size(), 0u);
    EXPECT_EQ(copy.created, startTime + 30s);
    EXPECT_EQ(copy.modified, startTime + 30s);
    EXPECT_EQ(s.selectedEntryIDs(), UUIDSet{copy.id});
    EXPECT_EQ(work.modified, startTime);  // the holding group is not stamped

    s.duplicateEntries({sunucu, yedek});
    EXPECT_EQ(s.undoLabel(), "Kayıtları Çoğalt");
    EXPECT_EQ(groupIn(s, o->work).entries.size(), 5u);
    EXPECT_EQ(s.selectedEntryIDs().size(), 2u);

    KdbxEntry untitled = entry("");
    s.addEntry(untitled, o->home);
    s.duplicateEntries({untitled.id});
    EXPECT_EQ(groupIn(s, o->home).entries[1].title, " kopya");

    s.duplicateEntries({UUID::random()});
    EXPECT_EQ(s.undoLabel(), "Kaydı Çoğalt");
    EXPECT_TRUE(s.selectedEntryIDs().empty());
}

TEST(AppStateEntries, MovingAppendsToTheTargetGroup) {
    const auto o = openSample();
    AppState& s = *o->state;
    const UUID posta = entryID(s, "Posta"), sunucu = entryID(s, "Sunucu");
    s.setSelectedEntryIDs({posta, sunucu});
    o->h.tick(5s);
    s.moveEntriesToGroup({posta, sunucu, UUID::random()}, o->home);
    EXPECT_EQ(s.undoLabel(), "Kayıtları Taşı");
    EXPECT_EQ(groupIn(s, o->home).entries.size(), 2u);
    EXPECT_EQ(groupIn(s, o->home).modified, startTime + 5s);
    EXPECT_EQ(groupIn(s, o->work).modified, startTime);
    EXPECT_EQ(titles(groupIn(s, o->work)), std::vector<std::string>{"Yedek"});
    EXPECT_TRUE(s.selectedEntryIDs().empty()) << "moved out of the listed group, out of the selection";

    // Onto the group that holds it: to its end.
    s.moveEntriesToGroup({entryID(s, "Yedek")}, o->work);
    EXPECT_EQ(titles(groupIn(s, o->work)), std::vector<std::string>{"Yedek"});

    // A target that is not a group of the tree, or nothing found: nothing at all.
    s.save();
    const KdbxGroup before = s.database()->root;
    s.moveEntriesToGroup({posta}, UUID::random());
    s.moveEntriesToGroup({UUID::random()}, o->work);
    EXPECT_EQ(GroupTree::totalEntryCount(s.database()->root), 3);
    EXPECT_EQ(s.database()->root, before);
    EXPECT_FALSE(s.isDirty());
}

TEST(AppStateEntries, ManualReorderPlacesTheDroppedEntries) {
    struct Case {
        std::vector<std::string> dropped;
        const char* target;  // nullptr: to the end
        bool searching;
        std::vector<std::string> expected;
        const char* note;
    };
    const Case cases[] = {
        {{"X", "Y"}, "T", false, {"W", "X", "Y", "T", "Z"}, "before the target"},
        {{"Y", "W"}, "X", false, {"W", "Y", "X", "T", "Z"}, "in displayed order"},
        {{"X", "T"}, "T", false, {"W", "X", "T", "Y", "Z"}, "onto one of themselves"},
        {{"X"}, "T", true, {"W", "X", "T", "Y", "Z"}, "while searching"},
        {{"Başka"}, "T", false, {"W", "X", "T", "Y", "Z"}, "nothing dropped is listed"},
        {{"W", "T"}, nullptr, false, {"X", "Y", "Z", "W", "T"}, "to the end"},
    };
    for (const Case& c : cases) {
        Harness h;
        KdbxGroup listed = group("Liste", {entry("W"), entry("X"), entry("T"), entry("Y"), entry("Z")});
        const auto s = h.makeState();
        open(h, *s, database(group("Kök", {}, {listed, group("Diğer", {entry("Başka")})})));
        s->setSort({Column::manual, true});
        s->setSelectedGroupID(listed.id);
        if (c.searching) s->setSearchText("X");
        UUIDSet ids;
        for (const std::string& t : c.dropped) ids.insert(entryID(*s, t));
        if (c.target) {
            s->moveEntriesBefore(ids, entryID(*s, c.target));
        } else {
            s->moveEntriesToEnd(ids);
        }
        EXPECT_EQ(titles(groupIn(*s, listed.id)), c.expected) << c.note;
        EXPECT_FALSE(s->statusMessage()) << c.note;
    }
}

TEST(AppStateEntries, TheFirstReorderOfASortedListStoresTheShownOrder) {
    Harness h;
    KdbxGroup listed = group("Liste", {entry("c"), entry("a"), entry("d"), entry("b")});
    const auto s = h.makeState();
    open(h, *s, database(listed));
    s->setSort({Column::title, true});
    s->moveEntriesBefore({entryID(*s, "d")}, entryID(*s, "b"));
    EXPECT_EQ(titles(s->database()->root), (std::vector<std::string>{"a", "d", "b", "c"}));
    EXPECT_EQ(s->sort(), (EntrySort{Column::manual, true}));
    EXPECT_EQ(s->statusMessage(), "Kendi sıralamana geçildi.");
    EXPECT_EQ(s->undoLabel(), "Sırayı Değiştir");
    h.scheduler->advance(2s);
    s->moveEntriesToEnd({entryID(*s, "a")});
    EXPECT_EQ(titles(s->database()->root), (std::vector<std::string>{"d", "b", "c", "a"}));
    EXPECT_FALSE(s->statusMessage());
}

TEST(AppStateEntries, ReorderKeepsEntriesThatShareAnIdentifier) {
    Harness h;
    KdbxEntry twin = entry("ikiz");
    KdbxEntry other = twin;
    other.title = "ikizin eşi";
    KdbxDatabase db = database(group("Kök", {entry("a"), twin, entry("b"), other}));
    const auto s = h.makeState();
    s->prepare(h.path("kasa.kdbx"));
    h.files->writeAtomically(h.path("kasa.kdbx"), h.codec->save(db, KdbxKey("p", std::nullopt)));
    s->unlock("p", std::nullopt);
    // Bypass the repair made on unlocking, as a tree built in memory could.
    s->edit("hazırlık", [&](KdbxDatabase& d) { d.root = db.root; });
    s->setSort({Column::manual, true});
    s->moveEntriesToEnd({entryID(*s, "a")});
    std::vector<std::string> order = titles(s->database()->root);
    EXPECT_EQ(order.size(), 4u);
    EXPECT_EQ(order.back(), "a");
    EXPECT_NE(std::find(order.begin(), order.end(), "ikiz"), order.end());
    EXPECT_NE(std::find(order.begin(), order.end(), "ikizin eşi"), order.end());
}

TEST(AppStateEntries, ClickSelection) {
    Harness h;
    std::vector<KdbxEntry> list;
    for (const char* t : {"1", "2", "3", "4", "5", "6"}) list.push_back(entry(t));
    const auto s = h.makeState();
    open(h, *s, database(group("Kök", list)));
    s->setSort({Column::manual, true});
    auto ids = [&](std::initializer_list<int> positions) {
        UUIDSet out;
        for (int p : positions) out.insert(list[static_cast<std::size_t>(p - 1)].id);
        return out;
    };
    auto at = [&](int p) { return list[static_cast<std::size_t>(p - 1)].id; };

    s->selectEntry(at(2), true, false);  // a range without an anchor is a plain click
    EXPECT_EQ(s->selectedEntryIDs(), ids({2}));
    s->selectEntry(at(5), false, false);
    s->selectEntry(at(2), true, false);
    EXPECT_EQ(s->selectedEntryIDs(), ids({2, 3, 4, 5}));
    s->selectEntry(at(6), true, false);  // the anchor stays at 5
    EXPECT_EQ(s->selectedEntryIDs(), ids({5, 6}));
    s->selectEntry(at(6), false, true);  // toggling removes and moves the anchor
    EXPECT_EQ(s->selectedEntryIDs(), ids({5}));
    s->selectEntry(at(4), true, false);
    EXPECT_EQ(s->selectedEntryIDs(), ids({4, 5, 6}));
    s->selectEntry(at(1), true, true);  // toggling wins over extending
    EXPECT_EQ(s->selectedEntryIDs(), ids({1, 4, 5, 6}));
    s->deleteEntries({at(1)});
    s->selectEntry(at(3), true, false);  // the anchor is gone: a plain click
    EXPECT_EQ(s->selectedEntryIDs(), ids({3}));
}

TEST(AppStateGroups, AddingOpensTheParentAndSelectsTheGroup) {
    const auto o = openSample();
    AppState& s = *o->state;
    s.setGroupExpanded(o->work, false);
    s.setSelectedEntryIDs({entryID(s, "Posta")});
    o->h.tick(10s);
    KdbxGroup added = group("Alt");
    s.addGroup(added, o->work);
    const KdbxGroup& work = groupIn(s, o->work);
    EXPECT_TRUE(work.isExpanded);
    EXPECT_EQ(work.modified, startTime + 10s);
    EXPECT_EQ(work.groups.back().name, "Alt");
    EXPECT_EQ(s.selectedGroupID(), added.id);
    EXPECT_TRUE(s.selectedEntryIDs().empty()) << "the new group lists none of them";

    // An id already in the tree, and a parent that is gone.
    s.addGroup(added, o->home);
    EXPECT_NE(groupIn(s, o->home).groups[0].id, added.id);
    s.save();
    s.addGroup(group("Kayıp"), UUID::random());
    EXPECT_FALSE(s.isDirty());
    ASSERT_TRUE(s.lastError());
    EXPECT_TRUE(s.lastError()->startsWith("Grup eklenemedi"));
}

TEST(AppStateGroups, EditingTakesOnlyTheEditorsFields) {
    const auto o = openSample();
    AppState& s = *o->state;
    s.update(KdbxGroup(groupIn(s, o->work)));
    KdbxGroup edited = groupIn(s, o->work);
    edited.name = "Ofis";
    edited.notes = "not";
    edited.iconID = 7;
    edited.defaultAutoTypeSequence = "{PASSWORD}{ENTER}";
    edited.entries = CowList<KdbxEntry>{};
    edited.groups = CowList<KdbxGroup>{group("sızan")};
    edited.isExpanded = false;
    o->h.tick(3s);
    s.update(edited);
    EXPECT_EQ(s.undoLabel(), "Grubu Düzenle");
    const KdbxGroup& stored = groupIn(s, o->work);
    EXPECT_EQ(stored.name, "Ofis");
    EXPECT_EQ(stored.notes, "not");
    EXPECT_EQ(stored.iconID, 7);
    EXPECT_EQ(stored.defaultAutoTypeSequence, "{PASSWORD}{ENTER}");
    EXPECT_EQ(stored.entries.size(), 2u);
    EXPECT_EQ(stored.groups.size(), 0u);
    EXPECT_TRUE(stored.isExpanded);
    EXPECT_EQ(stored.modified, startTime + 3s);

    edited.defaultAutoTypeSequence.reset();
    s.update(edited);
    EXPECT_FALSE(groupIn(s, o->work).defaultAutoTypeSequence);
}

TEST(AppStateGroups, DeletingRemovesTheSubtreeAndSelectsTheRoot) {
    const auto o = openSample();
    AppState& s = *o->state;
    s.deleteGroup(o->root);
    EXPECT_FALSE(s.canUndo());

    s.setSelectedGroupID(o->home);
    // Listed by a search, from two groups.
    s.setSearchText("s");
    s.setSelectedEntryIDs({entryID(s, "Sunucu"), entryID(s, "Posta")});
    const UUID posta = entryID(s, "Posta");
    s.deleteGroup(o->work);
    EXPECT_EQ(s.undoLabel(), "Grubu Sil");
    EXPECT_FALSE(GroupTree::findGroup(s.database()->root, o->work));
    EXPECT_EQ(GroupTree::totalEntryCount(s.database()->root), 1);
    EXPECT_EQ(s.selectedGroupID(), o->root);
    EXPECT_EQ(s.selectedEntryIDs(), UUIDSet{posta});

    s.undo();
    EXPECT_TRUE(GroupTree::findGroup(s.database()->root, o->work));
    EXPECT_EQ(GroupTree::totalEntryCount(s.database()->root), 3);
    EXPECT_EQ(s.selectedGroupID(), o->root);
}

TEST(AppStateGroups, ExpandingIsNeitherAStepNorAChange) {
    const auto o = openSample();
    AppState& s = *o->state;
    s.addEntry(entry("x"), o->home);
    s.save();
    s.setGroupExpanded(o->work, false);
    EXPECT_FALSE(groupIn(s, o->work).isExpanded);
    EXPECT_EQ(groupIn(s, o->work).modified, startTime);
    EXPECT_FALSE(s.isDirty());
    EXPECT_EQ(s.undoLabel(), "Kayıt Ekle");
    s.undo();  // the recorded database brings its own expansion back
    EXPECT_TRUE(groupIn(s, o->work).isExpanded);
}
