#include <gtest/gtest.h>

#include "OmbrixState/GroupTree.h"
#include "Support/AppStateFakes.h"

using fakes::entry;
using fakes::group;

namespace {

// root [r1, r2]
//   a [a1]
//     deep [d1]
//   b [b1, b2, b3]
struct Tree {
    KdbxGroup root;
    UUID a, deep, b;
    UUID r1, a1, d1, b2;
};

Tree makeTree() {
    Tree t;
    KdbxEntry r1 = entry("r1"), a1 = entry("a1"), d1 = entry("d1"), b2 = entry("b2");
    KdbxGroup deep = group("deep", {d1});
    KdbxGroup a = group("a", {a1}, {deep});
    KdbxGroup b = group("b", {entry("b1"), b2, entry("b3")});
    t.root = group("root", {r1, entry("r2")}, {a, b});
    t.a = a.id, t.deep = deep.id, t.b = b.id;
    t.r1 = r1.id, t.a1 = a1.id, t.d1 = d1.id, t.b2 = b2.id;
    return t;
}

}  // namespace

TEST(GroupTree, LookupsFindGroupsAndEntriesAnywhere) {
    const Tree t = makeTree();
    EXPECT_EQ(GroupTree::groupWithID(t.root, t.root.id)->name, "root");
    EXPECT_EQ(GroupTree::groupWithID(t.root, t.deep)->name, "deep");
    EXPECT_EQ(GroupTree::entryWithID(t.root, t.d1)->title, "d1");
    EXPECT_EQ(GroupTree::groupContainingEntry(t.root, t.d1)->name, "deep");
    EXPECT_EQ(GroupTree::groupContainingEntry(t.root, t.r1)->name, "root");
    EXPECT_EQ(GroupTree::parentOfGroup(t.root, t.deep)->name, "a");
    EXPECT_EQ(GroupTree::totalEntryCount(t.root), 7);

    const auto path = GroupTree::pathToGroup(t.root, t.deep);
    ASSERT_TRUE(path);
    ASSERT_EQ(path->size(), 3u);
    EXPECT_EQ((*path)[0].name, "root");
    EXPECT_EQ((*path)[1].name, "a");
    EXPECT_EQ((*path)[2].name, "deep");
    EXPECT_EQ(GroupTree::pathToGroup(t.root, t.root.id)->size(), 1u);
    EXPECT_FALSE(GroupTree::parentOfGroup(t.root, t.root.id));

    const UUID stranger = UUID::random();
    EXPECT_FALSE(GroupTree::groupWithID(t.root, stranger));
    EXPECT_FALSE(GroupTree::entryWithID(t.root, stranger));
    EXPECT_FALSE(GroupTree::groupContainingEntry(t.root, stranger));
    EXPECT_FALSE(GroupTree::pathToGroup(t.root, stranger));
    EXPECT_FALSE(GroupTree::parentOfGroup(t.root, stranger));
    // Group and entry ids are separate name spaces.
    EXPECT_FALSE(GroupTree::entryWithID(t.root, t.a));
    EXPECT_FALSE(GroupTree::groupWithID(t.root, t.a1));
}

TEST(GroupTree, ChangesAndRemovalsActInPlace) {
    Tree t = makeTree();
    EXPECT_TRUE(GroupTree::mutateGroup(t.root, t.root.id, [](KdbxGroup& g) { g.name = "kök"; }));
    EXPECT_EQ(t.root.name, "kök");
    EXPECT_TRUE(GroupTree::mutateEntry(t.root, t.d1, [](KdbxEntry& e) { e.title = "derin"; }));
    EXPECT_EQ(GroupTree::entryWithID(t.root, t.d1)->title, "derin");

    bool called = false;
    EXPECT_FALSE(GroupTree::mutateGroup(t.root, UUID::random(), [&](KdbxGroup&) { called = true; }));
    EXPECT_FALSE(GroupTree::mutateEntry(t.root, UUID::random(), [&](KdbxEntry&) { called = true; }));
    EXPECT_FALSE(called);

    EXPECT_EQ(GroupTree::removeEntry(t.root, t.b2)->title, "b2");
    EXPECT_EQ(fakes::titles(*GroupTree::groupWithID(t.root, t.b)), (std::vector<std::string>{"b1", "b3"}));
    EXPECT_FALSE(GroupTree::removeEntry(t.root, t.b2));

    EXPECT_FALSE(GroupTree::removeGroup(t.root, t.root.id));
    const auto removed = GroupTree::removeGroup(t.root, t.a);
    ASSERT_TRUE(removed);
    EXPECT_EQ(GroupTree::totalEntryCount(*removed), 2);
    EXPECT_FALSE(GroupTree::groupWithID(t.root, t.deep));
    EXPECT_FALSE(GroupTree::entryWithID(t.root, t.a1));
    EXPECT_EQ(GroupTree::totalEntryCount(t.root), 4);
}

TEST(GroupTree, DuplicateIdentifiersFollowTheWalkOrder) {
    // An entry id in the root and in a subgroup; a group id held by a direct child (second) and
    // by a deeper group under the first child.
    KdbxEntry shared = entry("kök");
    KdbxEntry twin = shared;
    twin.title = "alt";
    KdbxGroup deeper = group("derin");
    KdbxGroup direct = group("doğrudan");
    direct.id = deeper.id;
    KdbxGroup root = group("root", {shared}, {group("ilk", {twin}, {deeper}), direct});

    EXPECT_EQ(GroupTree::entryWithID(root, shared.id)->title, "kök");
    EXPECT_EQ(GroupTree::groupContainingEntry(root, shared.id)->name, "root");
    EXPECT_EQ(GroupTree::groupWithID(root, deeper.id)->name, "derin");
    EXPECT_EQ(GroupTree::parentOfGroup(root, deeper.id)->name, "root");

    KdbxGroup copy = root;
    EXPECT_EQ(GroupTree::removeGroup(copy, deeper.id)->name, "doğrudan");
    EXPECT_EQ(GroupTree::removeEntry(copy, shared.id)->title, "kök");
}

TEST(GroupTree, ChangingOneEntryLeavesOtherSubtreesShared) {
    const Tree t = makeTree();
    KdbxGroup copy = t.root;
    GroupTree::mutateEntry(copy, t.d1, [](KdbxEntry& e) { e.title = "değişti"; });
    EXPECT_EQ(GroupTree::entryWithID(t.root, t.d1)->title, "d1");  // the original is untouched
    EXPECT_TRUE(copy.groups[1].entries.sharesStorageWith(t.root.groups[1].entries));
    EXPECT_TRUE(copy.entries.sharesStorageWith(t.root.entries));
    EXPECT_FALSE(copy.groups[0].groups[0].entries.sharesStorageWith(t.root.groups[0].groups[0].entries));
}

TEST(GroupTree, RepairGivesLaterHoldersFreshIdentifiers) {
    KdbxEntry first = entry("ilk");
    KdbxEntry second = first;
    second.title = "ikinci";
    KdbxEntry old = second;
    old.title = "eski sürüm";
    second.historyItems = CowList<KdbxEntry>{old, old};
    KdbxGroup g1 = group("g");
    KdbxGroup g2 = group("g'");
    g2.id = g1.id;
    KdbxGroup g3 = group("g''");
    g3.id = g1.id;
    // An entry carrying a group's id, and one whose id repeats only in another's history: no
    // duplicates.
    KdbxEntry sameAsGroup = entry("grup kimlikli");
    sameAsGroup.id = g1.id;
    KdbxEntry lone = entry("tek");
    KdbxEntry loneVersion = lone;
    sameAsGroup.historyItems = CowList<KdbxEntry>{loneVersion};
    KdbxGroup root = group("root", {first, sameAsGroup}, {g1, group("alt", {second, lone}), g2, g3});

    GroupTree::IDSet groups, entries;
    EXPECT_EQ(GroupTree::repairDuplicateIDs(root, groups, entries), 3);
    EXPECT_EQ(root.entries[0].id, first.id);  // the first holder keeps its id
    EXPECT_EQ(root.entries[1].id, g1.id);
    EXPECT_EQ(root.groups[0].id, g1.id);
    EXPECT_NE(root.groups[2].id, g1.id);
    EXPECT_NE(root.groups[3].id, g1.id);
    EXPECT_NE(root.groups[2].id, root.groups[3].id);
    const KdbxEntry& renumbered = root.groups[1].entries[0];
    EXPECT_NE(renumbered.id, first.id);
    EXPECT_EQ(renumbered.title, "ikinci");
    // The history versions stay the versions of the renumbered entry.
    ASSERT_EQ(renumbered.historyItems.size(), 2u);
    for (const KdbxEntry& version : renumbered.historyItems) EXPECT_EQ(version.id, renumbered.id);

    GroupTree::IDSet again, againEntries;
    EXPECT_EQ(GroupTree::repairDuplicateIDs(root, again, againEntries), 0);
}
