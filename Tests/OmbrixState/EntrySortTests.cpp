#include <gtest/gtest.h>

#include "OmbrixState/EntrySort.h"
#include "Support/AppStateFakes.h"

using fakes::entry;
using fakes::titles;
using Column = EntrySort::Column;
using namespace std::chrono_literals;

TEST(EntrySort, ColumnsHaveTheirStoredNamesAndLabels) {
    struct Case {
        Column column;
        const char* raw;
        const char* label;
    };
    const Case cases[] = {
        {Column::manual, "manual", "Kendi sıram"},      {Column::title, "title", "Başlık"},
        {Column::username, "username", "Kullanıcı"},    {Column::url, "url", "Adres"},
        {Column::modified, "modified", "Değiştirilme"},
    };
    ASSERT_EQ(std::size(cases), EntrySort::allColumns.size());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(EntrySort::allColumns[i], c.column) << c.raw;
        EXPECT_EQ(EntrySort::rawValue(c.column), QString::fromUtf8(c.raw));
        EXPECT_EQ(EntrySort::label(c.column), QString::fromUtf8(c.label));
        EXPECT_EQ(EntrySort::columnFromRawValue(QString::fromUtf8(c.raw)), c.column) << c.raw;
    }
    for (const char* other : {"Title", "", "size", "title "}) {
        EXPECT_FALSE(EntrySort::columnFromRawValue(QString::fromUtf8(other))) << other;
    }
}

TEST(EntrySort, OrdersByColumnAndDirection) {
    struct Case {
        EntrySort sort;
        std::vector<std::string> input;
        std::vector<std::string> expected;
        const char* note;
    };
    const Case cases[] = {
        {{Column::title, true},
         {"Öğe 2", "Öğe 10", "Öğe 1"},
         {"Öğe 1", "Öğe 2", "Öğe 10"},
         "digits by value"},
        {{Column::title, false}, {"Öğe 2", "Öğe 10", "Öğe 1"}, {"Öğe 10", "Öğe 2", "Öğe 1"}, "descending"},
        {{Column::title, true}, {"b", "", "a"}, {"", "a", "b"}, "empty title first"},
        {{Column::title, true},
         {"Banka", "akbank", "Ziraat", "çarşı", "Cadde"},
         {"akbank", "Banka", "Cadde", "çarşı", "Ziraat"},
         "case set aside, Turkish letters in place"},
        {{Column::title, true}, {"B", "a", "A", "b"}, {"a", "A", "b", "B"}, "case still orders"},
        {{Column::manual, false}, {"c", "a", "b"}, {"c", "a", "b"}, "manual ignores the direction"},
        {{Column::title, true}, {}, {}, "empty list"},
        {{Column::title, false}, {"tek"}, {"tek"}, "one entry"},
    };
    for (const Case& c : cases) {
        std::vector<KdbxEntry> input;
        for (const std::string& t : c.input) input.push_back(entry(t));
        EXPECT_EQ(titles(c.sort.apply(input)), c.expected) << c.note;
    }
}

TEST(EntrySort, EqualKeysKeepTheirInputOrderAndReverseForDescending) {
    KdbxEntry e1 = entry("Aynı", "ilk");
    KdbxEntry e2 = entry("Aynı", "ikinci");
    KdbxEntry other = entry("Başka");
    auto users = [](const std::vector<KdbxEntry>& list) {
        std::vector<std::string> out;
        for (const KdbxEntry& e : list) out.push_back(e.username);
        return out;
    };
    EXPECT_EQ(users(EntrySort{Column::title, true}.apply({e1, other, e2})),
              (std::vector<std::string>{"ilk", "ikinci", ""}));
    EXPECT_EQ(users(EntrySort{Column::title, false}.apply({e1, other, e2})),
              (std::vector<std::string>{"", "ikinci", "ilk"}));
}

TEST(EntrySort, OtherColumnsUseTheirKeys) {
    KdbxEntry old = entry("eski", "zeynep", "https://b.example");
    KdbxEntry fresh = entry("yeni", "ahmet", "https://a.example");
    old.modified = fakes::startTime;
    fresh.modified = fakes::startTime + 60s;
    EXPECT_EQ(titles(EntrySort{Column::modified, true}.apply({fresh, old})),
              (std::vector<std::string>{"eski", "yeni"}));
    EXPECT_EQ(titles(EntrySort{Column::username, true}.apply({old, fresh})),
              (std::vector<std::string>{"yeni", "eski"}));
    EXPECT_EQ(titles(EntrySort{Column::url, false}.apply({fresh, old})),
              (std::vector<std::string>{"eski", "yeni"}));
}

TEST(EntrySort, ToggleFlipsOrSwitchesColumn) {
    EntrySort sort{Column::title, true};
    sort.toggle(Column::title);
    EXPECT_EQ(sort, (EntrySort{Column::title, false}));
    sort.toggle(Column::url);
    EXPECT_EQ(sort, (EntrySort{Column::url, true}));
}
