#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/Models.h"

// Internal to the XML reader: groups, entries and the attachment pool of a version 3 Meta taken
// from their elements into the model. The document reader (KdbxXMLReader.cpp) drives it element
// by element as the parser delivers them.
namespace KdbxXMLInternal {

std::optional<UUID> decodeUUID(const KdbxXMLNode& node);
// An optional "+" or "-" and one or more ASCII digits, within the signed 64-bit range.
std::optional<std::int64_t> decodeInteger(std::string_view text);
std::optional<bool> decodeBool(const KdbxXMLNode& node);

// The children of a Times or AutoType element that the model holds nothing for, gathered over
// every occurrence of the element, every one in document order (names may repeat), and kept as
// one text named like the element. Each is written out as it arrives, so that the element never
// stands as a tree. The writer merges it back when it writes the element.
struct KeptChildren {
    // "<name>" and the children so far; empty while nothing was kept.
    std::string text;
    std::optional<std::size_t> position;

    // The element begins: the kept text will stand where the first one stood among the kept.
    void begin(const CowList<std::string>& unknownXML);
    void add(std::string_view name, const KdbxXMLNode& child);
    // Inserts "<name>...</name>" at its position of the list when anything was kept.
    void store(std::string_view name, CowList<std::string>& unknownXML);
};

struct Times {
    std::optional<Timestamp> created;
    std::optional<Timestamp> modified;
    std::optional<Timestamp> accessed;
    std::optional<bool> expires;
    std::optional<Timestamp> expiry;
};

class Reader {
  public:
    using Node = KdbxXMLNode;

    Reader();

    // Converts a version 3 attachment pool into the attachment list and remembers where each
    // pool ID went, so that the entries' references can follow.
    void readPool(const Node& binaries, std::vector<KdbxInnerHeader::Binary>& out);

    // A group being read: its fields so far and where its kept Times children go. The reader
    // takes a group apart child by child (the document reader as the parser delivers them, or
    // parseGroup from a whole tree); Times elements likewise.
    struct GroupState {
        KdbxGroup group;
        std::optional<UUID> id;
        KeptChildren keptTimes;
        Times times;
        std::size_t depth = 0;
    };

    GroupState beginGroup(std::size_t depth) const;
    static void beginTimes(GroupState& state);
    static void timesChild(GroupState& state, const Node& child);
    static void endTimes(GroupState& state);
    // One child of a group other than a subgroup.
    void groupChild(GroupState& state, const Node& child);
    KdbxGroup endGroup(GroupState& state) const;
    KdbxGroup parseGroup(const Node& node, std::size_t depth);

    // An entry being read, taken apart child by child as a group is; its Times, AutoType and
    // History elements likewise.
    struct EntryState {
        KdbxEntry entry;
        std::optional<UUID> id;
        bool isHistory = false;
        KeptChildren keptTimes;
        KeptChildren keptAutoType;
        Times times;
    };

    EntryState beginEntry(bool isHistory) const;
    static void beginTimes(EntryState& state);
    static void timesChild(EntryState& state, const Node& child);
    static void endTimes(EntryState& state);
    static void beginAutoType(EntryState& state);
    static void autoTypeChild(EntryState& state, const Node& child);
    // A version of the entry read from its History. History does not nest: a version's own
    // history is not read.
    static void addVersion(EntryState& state, KdbxEntry version);
    // One child of an entry.
    void entryChild(EntryState& state, Node& child);
    KdbxEntry endEntry(EntryState& state) const;

  private:
    KdbxEntry parseEntry(const Node& node, bool isHistory);
    // The value's text is moved out: the node is read once and dropped.
    static void readString(Node& node, KdbxEntry& entry);
    // Version 4 references attachments by position; a version 3 pool ID becomes the position its
    // attachment took in the list. A reference to no pool item stays pointing at none.
    void renumberReference(Node& binary) const;
    void keepUnknown(const Node& node, CowList<std::string>& unknownXML);
    // Short kept texts repeat from entry to entry (an empty colour or override URL in every one):
    // each of the first few thousand distinct ones is held once and shared, as the copies of a
    // list share their elements.
    std::shared_ptr<std::string> shared(std::string text);

    // The time of the read stands in for every missing time.
    Timestamp now_;
    std::unordered_map<std::string, std::shared_ptr<std::string>> interned_;
    bool hasPool_ = false;
    std::map<std::string, std::size_t> poolPositions_;
    std::size_t poolSize_ = 0;
};

}  // namespace KdbxXMLInternal
