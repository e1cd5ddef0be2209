#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"

using namespace std::chrono_literals;

namespace {

const Timestamp t0 = Timestamp(1'700'000'000s);

KdbxEntry entry(const std::string& title, Timestamp modified = t0) {
    KdbxEntry e;
    e.id = UUID::random();
    e.title = title;
    e.modified = modified;
    return e;
}

KdbxGroup group(const std::string& name, std::vector<KdbxEntry> entries = {},
                std::vector<KdbxGroup> groups = {}) {
    KdbxGroup g;
    g.id = UUID::random();
    g.name = name;
    g.modified = t0;
    g.entries = CowList<KdbxEntry>(std::move(entries));
    g.groups = CowList<KdbxGroup>(std::move(groups));
    return g;
}

std::vector<std::string> titles(const std::vector<KdbxEntry>& entries) {
    std::vector<std::string> out;
    for (const KdbxEntry& e : entries) out.push_back(e.title);
    return out;
}

}  // namespace

TEST(KdbxEntry, EqualityIsIdAndModifiedOnly) {
    const KdbxEntry a = entry("A");
    KdbxEntry b = a;
    b.title = "other";
    b.password = SecureString("different");
    b.customFields["x"] = "y";
    EXPECT_EQ(a, b);

    KdbxEntry moved = a;
    moved.modified += 1s;
    EXPECT_NE(a, moved);

    KdbxEntry otherId = a;
    otherId.id = UUID::random();
    EXPECT_NE(a, otherId);
}

TEST(KdbxEntry, IsExpired) {
    const auto now = std::chrono::system_clock::time_point(t0);
    struct Case {
        bool expires;
        std::optional<Timestamp> expiry;
        bool expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {true, std::nullopt, false, "expires without an expiry time"},
        {true, t0 + 1h, false, "expiry in the future"},
        {true, t0, false, "expiry exactly now"},
        {true, t0 - 1s, true, "expiry a second ago"},
        {false, t0 - 1s, false, "does not expire, time in the past"},
    };
    for (const Case& c : cases) {
        KdbxEntry e = entry("E");
        e.expires = c.expires;
        e.expiryTime = c.expiry;
        EXPECT_EQ(e.isExpired(now), c.expected) << c.note;
    }

    KdbxEntry past = entry("P");
    past.expires = true;
    past.expiryTime = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) - 1s;
    EXPECT_TRUE(past.isExpired()) << "the clock-reading form";
}

TEST(KdbxGroup, EqualityComparesIdModifiedEntriesAndGroups) {
    const KdbxGroup base =
        group("root", {entry("1"), entry("2"), entry("3")}, {group("child", {entry("c")}), group("empty")});
    struct Case {
        void (*change)(KdbxGroup&);
        bool equal;
        const char* note;
    };
    const std::vector<Case> cases = {
        {[](KdbxGroup&) {}, true, "unchanged copy"},
        {[](KdbxGroup& g) { g.name = "other"; }, true, "name does not count"},
        {[](KdbxGroup& g) {
             g.notes = "n";
             g.iconID = 7;
             g.isExpanded = false;
         },
         true, "display fields"},
        {[](KdbxGroup& g) { g.entries.mutableAt(2).title = "x"; }, true, "entry title does not count"},
        {[](KdbxGroup& g) { g.entries.mutableAt(2).modified += 1s; }, false, "third entry modified"},
        {[](KdbxGroup& g) { g.groups.mutableAt(0).entries.push_back(entry("more")); }, false,
         "child group has one entry more"},
        {[](KdbxGroup& g) { g.groups.erase(1); }, false, "child group removed"},
        {[](KdbxGroup& g) { g.modified += 1s; }, false, "modified"},
        {[](KdbxGroup& g) { g.id = UUID::random(); }, false, "id"},
    };
    for (const Case& c : cases) {
        KdbxGroup copy = base;
        c.change(copy);
        EXPECT_EQ(copy == base, c.equal) << c.note;
    }
}

TEST(KdbxGroup, AllEntriesIsOwnEntriesThenChildrenDepthFirst) {
    KdbxEntry a = entry("A");
    a.historyItems.push_back(entry("A-old"));
    const KdbxGroup root =
        group("root", {a, entry("B")},
              {group("G1", {entry("C")}, {group("G3", {entry("D")})}), group("G2", {entry("E")})});
    EXPECT_EQ(titles(root.allEntries()), (std::vector<std::string>{"A", "B", "C", "D", "E"}));

    const KdbxGroup onlyChildren = group("top", {}, {group("x", {entry("1")}), group("y", {entry("2")})});
    EXPECT_EQ(titles(onlyChildren.allEntries()), (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(group("empty").allEntries().empty());
}

TEST(KdbxDatabase, ChangingACopyNeverChangesTheOriginal) {
    KdbxDatabase original;
    original.root = group("root", {entry("top")}, {group("child", {entry("deep")})});
    KdbxDatabase copy = original;
    EXPECT_TRUE(copy.root.groups.sharesStorageWith(original.root.groups));

    copy.root.groups.mutableAt(0).entries.mutableAt(0).title = "changed";
    copy.root.entries.mutableAt(0).password = SecureString("new");
    EXPECT_EQ(original.root.groups[0].entries[0].title, "deep");
    EXPECT_TRUE(original.root.entries[0].password.isEmpty());
    EXPECT_EQ(copy.root.groups[0].entries[0].title, "changed");
}

TEST(KdbxCipher, RawValues) {
    EXPECT_EQ(rawValue(KdbxCipher::aes256), "AES-256-CBC");
    EXPECT_EQ(rawValue(KdbxCipher::chacha20), "ChaCha20");
    EXPECT_EQ(kdbxCipherFromRawValue("AES-256-CBC"), KdbxCipher::aes256);
    EXPECT_EQ(kdbxCipherFromRawValue("ChaCha20"), KdbxCipher::chacha20);
    for (const char* text : {"aes-256-cbc", "chacha20", "ChaCha20 ", ""}) {
        EXPECT_FALSE(kdbxCipherFromRawValue(text).has_value()) << text;
    }
    EXPECT_EQ(allKdbxCiphers[0], KdbxCipher::aes256);
    EXPECT_EQ(allKdbxCiphers[1], KdbxCipher::chacha20);
}

TEST(KdfSettings, EqualityAndRecommended) {
    EXPECT_NE(KdfSettings::argon2d(65536, 2, 2), KdfSettings::argon2id(65536, 2, 2));
    EXPECT_EQ(KdfSettings::aesKdf(6000), KdfSettings::aesKdf(6000));
    EXPECT_NE(KdfSettings::aesKdf(6000), KdfSettings::aesKdf(6001));
    EXPECT_NE(KdfSettings::argon2id(65536, 2, 2), KdfSettings::argon2id(65536, 2, 3));
    EXPECT_EQ(KdfSettings::recommended(), KdfSettings::argon2id(262144, 16, 4));
}

TEST(KdbxMeta, EqualityComparesAllFieldsTextsCanonically) {
    const KdbxMeta base("Kasa \xC3\xA9", "desc", "user", true, UUID::random(), 10, 6291456, "Ombrix");
    KdbxMeta decomposed = base;
    decomposed.databaseName = "Kasa e\xCC\x81";
    EXPECT_EQ(base, decomposed);

    struct Case {
        void (*change)(KdbxMeta&);
        const char* note;
    };
    const std::vector<Case> cases = {
        {[](KdbxMeta& m) { m.databaseName = "x"; }, "databaseName"},
        {[](KdbxMeta& m) { m.databaseDescription = "x"; }, "databaseDescription"},
        {[](KdbxMeta& m) { m.defaultUsername = "x"; }, "defaultUsername"},
        {[](KdbxMeta& m) { m.recycleBinEnabled = false; }, "recycleBinEnabled"},
        {[](KdbxMeta& m) { m.recycleBinUUID.reset(); }, "recycleBinUUID absent"},
        {[](KdbxMeta& m) { m.historyMaxItems = 11; }, "historyMaxItems"},
        {[](KdbxMeta& m) { m.historyMaxSize = 1; }, "historyMaxSize"},
        {[](KdbxMeta& m) { m.generator = "x"; }, "generator"},
    };
    for (const Case& c : cases) {
        KdbxMeta changed = base;
        c.change(changed);
        EXPECT_NE(changed, base) << c.note;
    }
}

TEST(KdbxKey, EmptyPasswordDiffersFromNone) {
    const KdbxKey empty(std::string(), std::nullopt);
    const KdbxKey none(std::nullopt, std::nullopt);
    EXPECT_TRUE(empty.password.has_value());
    EXPECT_FALSE(none.password.has_value());
}

TEST(KdbxEntry, MemberwiseConstructorKeepsEveryField) {
    const UUID id = UUID::random();
    const KdbxEntry e(id, "t", "u", SecureString("p"), "https://x", "n", {{"k", "v"}}, {"k"}, {"tag"},
                      "{USERNAME}", false, {{"win", std::nullopt}}, 5, t0, t0 + 1s, t0 + 2s, true, t0 + 3s,
                      CowList<KdbxEntry>{entry("old")}, {"<X/>"});
    EXPECT_EQ(e.id, id);
    EXPECT_EQ(e.title, "t");
    EXPECT_EQ(e.username, "u");
    EXPECT_TRUE(e.password == SecureString("p"));
    EXPECT_EQ(e.url, "https://x");
    EXPECT_EQ(e.notes, "n");
    EXPECT_EQ(e.customFields.at("k"), "v");
    EXPECT_EQ(e.protectedCustomFields.count("k"), 1u);
    EXPECT_EQ(e.tags, std::vector<std::string>{"tag"});
    EXPECT_EQ(e.autoTypeSequence, "{USERNAME}");
    EXPECT_FALSE(e.autoTypeEnabled);
    EXPECT_EQ(e.autoTypeWindowAssociations[0].window, "win");
    EXPECT_EQ(e.iconID, 5);
    EXPECT_EQ(e.created, t0);
    EXPECT_EQ(e.modified, t0 + 1s);
    EXPECT_EQ(e.accessed, t0 + 2s);
    EXPECT_TRUE(e.expires);
    EXPECT_EQ(e.expiryTime, t0 + 3s);
    EXPECT_EQ(e.historyItems.size(), 1u);
    EXPECT_EQ(e.unknownXML, std::vector<std::string>{"<X/>"});
}

TEST(KdbxEntry, CustomFieldNamesAreComparedByteForByte) {
    KdbxEntry e = entry("E");
    e.customFields["\xC3\xA9"] = "precomposed";
    e.customFields["e\xCC\x81"] = "decomposed";
    EXPECT_EQ(e.customFields.size(), 2u);
}

// A copy of the database (an undo snapshot) holds the kept texts, the attachments among them,
// in the same storage as the original until one of them changes; the change leaves the other
// copy as it was, and what it did not touch stays shared.
TEST(KdbxDatabase, CopiesShareKeptTextsUntilOneChanges) {
    const std::string attachments = "<OmbrixPreservedBinaries><Binary Flags=\"0\">" +
                                    std::string(1 << 20, 'A') + "</Binary></OmbrixPreservedBinaries>";
    KdbxDatabase db;
    db.root = group("root", {entry("ek")});
    db.root.unknownXML = {attachments, "<Kept/>"};
    db.root.entries.mutableAt(0).unknownXML = {"<Binary><Key>a.pdf</Key><Value Ref=\"0\"/></Binary>"};
    const KdbxDatabase snapshot = db;
    EXPECT_EQ(snapshot.root.unknownXML[0].data(), db.root.unknownXML[0].data());
    EXPECT_EQ(snapshot.root.entries[0].unknownXML[0].data(), db.root.entries[0].unknownXML[0].data());

    db.root.name = "changed";
    db.root.unknownXML.mutableAt(1) = "<Changed/>";
    db.root.unknownXML.push_back("<Added/>");
    db.root.entries.mutableAt(0).unknownXML.mutableAt(0) =
        "<Binary><Key>b.pdf</Key><Value Ref=\"0\"/></Binary>";
    EXPECT_EQ(snapshot.root.unknownXML.toVector(), (std::vector<std::string>{attachments, "<Kept/>"}));
    EXPECT_EQ(snapshot.root.entries[0].unknownXML[0], "<Binary><Key>a.pdf</Key><Value Ref=\"0\"/></Binary>");
    EXPECT_EQ(db.root.unknownXML.toVector(),
              (std::vector<std::string>{attachments, "<Changed/>", "<Added/>"}));
    // The attachments were not touched: still held once.
    EXPECT_EQ(snapshot.root.unknownXML[0].data(), db.root.unknownXML[0].data());
}
