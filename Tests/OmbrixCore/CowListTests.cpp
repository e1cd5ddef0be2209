#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/CowList.h"

namespace {

// Counts copies, so that the tests can tell a shared element from a copied one.
struct Item {
    std::string name;
    static inline int copies = 0;

    Item(std::string n) : name(std::move(n)) {}
    Item(const Item& other) : name(other.name) { ++copies; }
    Item& operator=(const Item&) = default;
    friend bool operator==(const Item& a, const Item& b) { return a.name == b.name; }
};

std::vector<std::string> names(const CowList<Item>& list) {
    std::vector<std::string> out;
    for (const Item& item : list) out.push_back(item.name);
    return out;
}

}  // namespace

TEST(CowList, CopiesShareStorageUntilOneChanges) {
    const CowList<Item> original{Item("a"), Item("b"), Item("c")};
    CowList<Item> copy = original;
    EXPECT_TRUE(copy.sharesStorageWith(original));
    EXPECT_EQ(copy, original);

    Item::copies = 0;
    copy.mutableAt(1).name = "B";
    EXPECT_EQ(Item::copies, 1) << "only the changed element is copied";
    EXPECT_FALSE(copy.sharesStorageWith(original));
    EXPECT_EQ(names(original), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(names(copy), (std::vector<std::string>{"a", "B", "c"}));
    EXPECT_EQ(&copy[0], &original[0]) << "untouched elements stay shared";

    Item::copies = 0;
    copy.mutableAt(1).name = "BB";
    EXPECT_EQ(Item::copies, 0) << "an element no other list holds is changed in place";
    EXPECT_EQ(original[1].name, "b");
}

TEST(CowList, EveryMutationLeavesTheOriginalAlone) {
    struct Case {
        void (*change)(CowList<Item>&);
        std::vector<std::string> expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {[](CowList<Item>& l) { l.push_back(Item("d")); }, {"a", "b", "c", "d"}, "push_back"},
        {[](CowList<Item>& l) { l.insert(0, Item("z")); }, {"z", "a", "b", "c"}, "insert at front"},
        {[](CowList<Item>& l) { l.insert(3, Item("z")); }, {"a", "b", "c", "z"}, "insert at end"},
        {[](CowList<Item>& l) { l.erase(1); }, {"a", "c"}, "erase"},
        {[](CowList<Item>& l) { l.set(2, Item("C")); }, {"a", "b", "C"}, "set"},
        {[](CowList<Item>& l) { l.mutate(0, [](Item& i) { i.name = "A"; }); }, {"A", "b", "c"}, "mutate"},
        {[](CowList<Item>& l) { l.clear(); }, {}, "clear"},
    };
    for (const Case& c : cases) {
        const CowList<Item> original{Item("a"), Item("b"), Item("c")};
        CowList<Item> copy = original;
        c.change(copy);
        EXPECT_EQ(names(copy), c.expected) << c.note;
        EXPECT_EQ(names(original), (std::vector<std::string>{"a", "b", "c"})) << c.note;
        EXPECT_NE(copy, original) << c.note;
    }
}

TEST(CowList, ReadsLikeAVector) {
    CowList<Item> list(std::vector<Item>{Item("x"), Item("y")});
    EXPECT_EQ(list.size(), 2u);
    EXPECT_FALSE(list.empty());
    EXPECT_EQ(list.front().name, "x");
    EXPECT_EQ(list.back().name, "y");
    EXPECT_EQ(list.at(1).name, "y");
    EXPECT_EQ(list.end() - list.begin(), 2);
    EXPECT_EQ(list.begin()[1].name, "y");
    EXPECT_EQ(std::find(list.begin(), list.end(), Item("y")) - list.begin(), 1);
    EXPECT_EQ(list.toVector(), (std::vector<Item>{Item("x"), Item("y")}));

    const CowList<Item> empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.begin(), empty.end());
    EXPECT_EQ(empty, CowList<Item>(std::vector<Item>{}));
}

TEST(CowList, EqualityComparesElementsInOrder) {
    const CowList<Item> ab{Item("a"), Item("b")};
    EXPECT_EQ(ab, (CowList<Item>{Item("a"), Item("b")}));
    EXPECT_NE(ab, (CowList<Item>{Item("b"), Item("a")}));
    EXPECT_NE(ab, (CowList<Item>{Item("a")}));
}

// One element held by two lists (the reader shares repeated kept texts so): a change through
// either list leaves the other as it was.
TEST(CowList, AnElementSharedBetweenListsIsCopiedBeforeItChanges) {
    const auto shared = std::make_shared<Item>("a");
    CowList<Item> first, second;
    first.pushShared(shared);
    second.pushShared(shared);
    first.mutate(0, [](Item& i) { i.name = "A"; });
    EXPECT_EQ(names(first), std::vector<std::string>{"A"});
    EXPECT_EQ(names(second), std::vector<std::string>{"a"});
    EXPECT_EQ(shared->name, "a");
}
