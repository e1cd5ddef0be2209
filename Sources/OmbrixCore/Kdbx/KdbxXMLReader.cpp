#include "OmbrixCore/Kdbx/KdbxXMLReader.h"

#include <charconv>
#include <chrono>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/KdbxDate.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

using Node = KdbxXMLNode;

Timestamp now() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::optional<UUID> decodeUUID(const Node& node) {
    const std::optional<Bytes> bytes = Base64::decodeStrict(UnicodeText::trimWhiteSpace(node.text));
    if (!bytes) return std::nullopt;
    return UUID::fromKdbxBytes(*bytes);
}

// An optional "+" or "-" and one or more ASCII digits, within the signed 64-bit range.
std::optional<std::int64_t> decodeInteger(std::string_view text) {
    text = UnicodeText::trimWhiteSpace(text);
    std::string digits;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        if (text.front() == '-') digits.push_back('-');
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    digits.append(text);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<bool> decodeBool(const Node& node) {
    return KdbxXML::parseBool(UnicodeText::trimWhiteSpace(node.text));
}

std::optional<std::string> optionalText(const Node& node) {
    if (node.text.empty()) return std::nullopt;
    return node.text;
}

bool isSpaceSeparatorOrTab(char32_t c) {
    return c == '\t' || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

// The children of a Times or AutoType element that the model holds nothing for, gathered over
// every occurrence of the element, every one in document order (names may repeat), and kept as
// one text named like the element. Each is written out as it arrives, so that the element never
// stands as a tree. The writer merges it back when it writes the element.
struct KeptChildren {
    // "<name>" and the children so far; empty while nothing was kept.
    std::string text;
    std::optional<std::size_t> position;

    // The element begins: the kept text will stand where the first one stood among the kept.
    void begin(const CowList<std::string>& unknownXML) {
        if (!position) position = unknownXML.size();
    }
    void add(std::string_view name, const Node& child) {
        if (text.empty()) {
            text += '<';
            text += name;
            text += '>';
        }
        child.appendRaw(text);
    }

    // Inserts "<name>...</name>" at its position of the list when anything was kept.
    void store(std::string_view name, CowList<std::string>& unknownXML) {
        if (!position || text.empty()) return;
        text += "</";
        text += name;
        text += '>';
        unknownXML.insert(*position, std::move(text));
        text = std::string();
    }
};

struct Times {
    std::optional<Timestamp> created;
    std::optional<Timestamp> modified;
    std::optional<Timestamp> accessed;
    std::optional<bool> expires;
    std::optional<Timestamp> expiry;
};

// Reads one child of a Times element; one the owner does not model goes to `kept`. A group
// models only the creation and modification times.
void timesChild(Times& times, const Node& child, bool forEntry, KeptChildren& kept) {
    const std::string& name = child.name;
    if (name == "CreationTime") {
        times.created = KdbxDate::parse(child.text);
    } else if (name == "LastModificationTime") {
        times.modified = KdbxDate::parse(child.text);
    } else if (forEntry && name == "LastAccessTime") {
        times.accessed = KdbxDate::parse(child.text);
    } else if (forEntry && name == "ExpiryTime") {
        times.expiry = KdbxDate::parse(child.text);
    } else if (forEntry && name == "Expires") {
        times.expires = decodeBool(child);
    } else {
        kept.add("Times", child);
    }
}

bool isStandardField(std::string_view key) {
    return key == "Title" || key == "UserName" || key == "Password" || key == "URL" || key == "Notes";
}

class Reader {
  public:
    // Converts a version 3 attachment pool into the attachment list and remembers where each
    // pool ID went, so that the entries' references can follow.
    void readPool(const Node& binaries, std::vector<KdbxInnerHeader::Binary>& out) {
        hasPool_ = true;
        for (const Node::Ptr& item : binaries.children) {
            if (item->name != "Binary") continue;
            std::optional<Bytes> data = Base64::decodeLenient(item->text);
            if (!data) throw KdbxError::corruptedData("ek dosya verisi base64 değil");
            const auto compressed = item->attributes.find("Compressed");
            if (compressed != item->attributes.end() &&
                KdbxXML::parseBool(UnicodeText::trimWhiteSpace(compressed->second)) == true) {
                try {
                    data = Gzip::decompress(*data);
                } catch (const Gzip::Error&) {
                    throw KdbxError::corruptedData("sıkıştırılmış ek dosya açılamadı");
                }
            }
            const auto id = item->attributes.find("ID");
            if (id != item->attributes.end()) poolPositions_.try_emplace(id->second, out.size());
            out.push_back({static_cast<std::uint8_t>(item->isProtected ? 1 : 0), std::move(*data)});
        }
        poolSize_ = out.size();
    }

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

    GroupState beginGroup(std::size_t depth) const {
        if (depth > KdbxXML::maxGroupDepth) throw KdbxError::corruptedData("gruplar çok derin iç içe");
        GroupState state;
        state.depth = depth;
        state.group.iconID = 48;
        state.group.isExpanded = true;
        state.group.created = now_;
        state.group.modified = now_;
        return state;
    }

    static void beginTimes(GroupState& state) {
        state.keptTimes.begin(state.group.unknownXML);
        state.times = Times();
    }
    static void timesChild(GroupState& state, const Node& child) {
        ::timesChild(state.times, child, false, state.keptTimes);
    }
    static void endTimes(GroupState& state) {
        if (state.times.created) state.group.created = *state.times.created;
        if (state.times.modified) state.group.modified = *state.times.modified;
    }

    // One child of a group other than a subgroup.
    void groupChild(GroupState& state, const Node& child) {
        KdbxGroup& group = state.group;
        const std::string& name = child.name;
        if (name == "UUID") {
            if (auto id = decodeUUID(child)) state.id = *id;
        } else if (name == "Name") {
            group.name = child.text;
        } else if (name == "Notes") {
            group.notes = child.text;
        } else if (name == "IconID") {
            group.iconID = decodeInteger(child.text).value_or(48);
        } else if (name == "IsExpanded") {
            group.isExpanded = decodeBool(child).value_or(true);
        } else if (name == "DefaultAutoTypeSequence") {
            group.defaultAutoTypeSequence = optionalText(child);
        } else if (name == "Times") {
            beginTimes(state);
            for (const Node::Ptr& c : child.children) timesChild(state, *c);
            endTimes(state);
        } else if (name == "Entry") {
            group.entries.push_back(parseEntry(child, false));
        } else {
            keepUnknown(child, group.unknownXML);
        }
    }

    KdbxGroup endGroup(GroupState& state) const {
        // A fresh identifier only when the file gave none that reads.
        state.group.id = state.id ? *state.id : UUID::random();
        state.keptTimes.store("Times", state.group.unknownXML);
        return std::move(state.group);
    }

    KdbxGroup parseGroup(const Node& node, std::size_t depth) {
        GroupState state = beginGroup(depth);
        for (const Node::Ptr& child : node.children) {
            if (child->name == "Group") {
                state.group.groups.push_back(parseGroup(*child, depth + 1));
            } else {
                groupChild(state, *child);
            }
        }
        return endGroup(state);
    }

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

    EntryState beginEntry(bool isHistory) const {
        EntryState state;
        state.isHistory = isHistory;
        state.entry.created = now_;
        state.entry.modified = now_;
        state.entry.accessed = now_;
        return state;
    }

    static void beginTimes(EntryState& state) {
        state.keptTimes.begin(state.entry.unknownXML);
        state.times = Times();
    }
    static void timesChild(EntryState& state, const Node& child) {
        ::timesChild(state.times, child, true, state.keptTimes);
    }
    static void endTimes(EntryState& state) {
        KdbxEntry& entry = state.entry;
        const Times& times = state.times;
        if (times.created) entry.created = *times.created;
        if (times.modified) entry.modified = *times.modified;
        entry.accessed = times.accessed.value_or(entry.modified);
        entry.expires = times.expires.value_or(false);
        entry.expiryTime = times.expiry;
    }

    static void beginAutoType(EntryState& state) { state.keptAutoType.begin(state.entry.unknownXML); }
    static void autoTypeChild(EntryState& state, const Node& child) {
        KdbxEntry& entry = state.entry;
        if (child.name == "Enabled") {
            entry.autoTypeEnabled = decodeBool(child) != false;
        } else if (child.name == "DefaultSequence") {
            entry.autoTypeSequence = optionalText(child);
        } else if (child.name == "Association") {
            AutoTypeAssociation association;
            if (const Node* window = child.child("Window")) association.window = window->text;
            if (const Node* sequence = child.child("KeystrokeSequence")) {
                association.sequence = optionalText(*sequence);
            }
            entry.autoTypeWindowAssociations.push_back(std::move(association));
        } else {
            state.keptAutoType.add("AutoType", child);
        }
    }

    // A version of the entry read from its History. History does not nest: a version's own
    // history is not read.
    static void addVersion(EntryState& state, KdbxEntry version) {
        if (!state.isHistory) state.entry.historyItems.push_back(std::move(version));
    }

    // One child of an entry.
    void entryChild(EntryState& state, Node& child) {
        KdbxEntry& entry = state.entry;
        const std::string& name = child.name;
        if (name == "UUID") {
            if (auto decoded = decodeUUID(child)) state.id = *decoded;
        } else if (name == "IconID") {
            entry.iconID = decodeInteger(child.text).value_or(0);
        } else if (name == "Tags") {
            entry.tags = KdbxXML::splitTags(child.text);
        } else if (name == "Times") {
            beginTimes(state);
            for (const Node::Ptr& c : child.children) timesChild(state, *c);
            endTimes(state);
        } else if (name == "String") {
            readString(child, entry);
        } else if (name == "AutoType") {
            beginAutoType(state);
            for (const Node::Ptr& c : child.children) autoTypeChild(state, *c);
        } else if (name == "History") {
            if (state.isHistory) return;
            for (const Node::Ptr& version : child.children) {
                if (version->name == "Entry") addVersion(state, parseEntry(*version, true));
            }
        } else {
            if (name == "Binary" && hasPool_) renumberReference(child);
            keepUnknown(child, entry.unknownXML);
        }
    }

    KdbxEntry endEntry(EntryState& state) const {
        KdbxEntry& entry = state.entry;
        entry.id = state.id ? *state.id : UUID::random();
        // Inserted from the back, so that the earlier position stays valid.
        if (state.keptAutoType.position >= state.keptTimes.position) {
            state.keptAutoType.store("AutoType", entry.unknownXML);
            state.keptTimes.store("Times", entry.unknownXML);
        } else {
            state.keptTimes.store("Times", entry.unknownXML);
            state.keptAutoType.store("AutoType", entry.unknownXML);
        }
        return std::move(entry);
    }

  private:
    KdbxEntry parseEntry(const Node& node, bool isHistory) {
        EntryState state = beginEntry(isHistory);
        for (const Node::Ptr& child : node.children) entryChild(state, *child);
        return endEntry(state);
    }

    // The value's text is moved out: the node is read once and dropped.
    static void readString(Node& node, KdbxEntry& entry) {
        const Node* keyNode = node.child("Key");
        Node* valueNode = nullptr;
        for (const Node::Ptr& child : node.children) {
            if (child->name == "Value") {
                valueNode = child.get();
                break;
            }
        }
        const std::string key = keyNode != nullptr ? keyNode->text : std::string();
        std::string value = valueNode != nullptr ? std::move(valueNode->text) : std::string();
        const bool isProtected = valueNode != nullptr && valueNode->isProtected;
        if (key == "Password") {
            entry.password = SecureString(value);
            secureWipe(value.data(), value.size());
        } else if (isProtected && !isStandardField(key)) {
            // A protected custom field is held masked, as the password is.
            entry.customFields[key] = KdbxFieldValue::secret(value);
            secureWipe(value.data(), value.size());
        } else if (key == "Title") {
            entry.title = std::move(value);
        } else if (key == "UserName") {
            entry.username = std::move(value);
        } else if (key == "URL") {
            entry.url = std::move(value);
        } else if (key == "Notes") {
            entry.notes = std::move(value);
        } else {
            entry.customFields[key] = std::move(value);
        }
        // A standard field stored protected is remembered under its own name (no custom field
        // can carry it), so that saving does not write it in clear.
        if (isProtected) entry.protectedCustomFields.insert(key);
    }

    // Version 4 references attachments by position; a version 3 pool ID becomes the position its
    // attachment took in the list. A reference to no pool item stays pointing at none.
    void renumberReference(Node& binary) const {
        for (const Node::Ptr& child : binary.children) {
            if (child->name != "Value") continue;
            auto ref = child->attributes.find("Ref");
            if (ref == child->attributes.end()) continue;
            const auto position = poolPositions_.find(ref->second);
            ref->second = std::to_string(position != poolPositions_.end() ? position->second : poolSize_);
        }
    }

    void keepUnknown(const Node& node, CowList<std::string>& unknownXML) {
        if (KdbxPreserve::all().contains(node.name)) {
            throw KdbxError::xmlParseFailure("ayrılmış öğe adı <" + node.name + ">");
        }
        unknownXML.pushShared(shared(node.rawXMLString()));
    }

    // Short kept texts repeat from entry to entry (an empty colour or override URL in every one):
    // each of the first few thousand distinct ones is held once and shared, as the copies of a
    // list share their elements.
    std::shared_ptr<std::string> shared(std::string text) {
        constexpr std::size_t shortText = 64;
        constexpr std::size_t remembered = 4096;
        if (text.size() > shortText) return std::make_shared<std::string>(std::move(text));
        if (const auto found = interned_.find(text); found != interned_.end()) return found->second;
        auto element = std::make_shared<std::string>(std::move(text));
        if (interned_.size() < remembered) interned_.emplace(*element, element);
        return element;
    }

    // The time of the read stands in for every missing time.
    Timestamp now_ = now();
    std::unordered_map<std::string, std::shared_ptr<std::string>> interned_;
    bool hasPool_ = false;
    std::map<std::string, std::size_t> poolPositions_;
    std::size_t poolSize_ = 0;
};

std::string wrapper(std::string_view name, const std::string& content) {
    std::string text;
    text.reserve(content.size() + 2 * name.size() + 5);
    text += '<';
    text += name;
    text += '>';
    text += content;
    text += "</";
    text += name;
    text += '>';
    return text;
}

// Appends the binaries wrapper of `binaries` to the root's kept texts, built in place in one
// allocation of its exact size; with `release`, each attachment's bytes go as soon as they are
// encoded, so that the bytes and their text never both stand whole.
void keepBinaries(KdbxGroup& root, std::vector<KdbxInnerHeader::Binary>& binaries, bool release) {
    if (binaries.empty()) return;
    const auto flagsOf = [](const KdbxInnerHeader::Binary& binary) { return std::to_string(binary.flags); };
    const std::string_view open = "<Binary Flags=\"", openEnd = "\">", close = "</Binary>";
    std::size_t size = 2 * KdbxPreserve::binaries.size() + 5;
    for (const KdbxInnerHeader::Binary& binary : binaries) {
        size += open.size() + flagsOf(binary).size() + openEnd.size() + (binary.data.size() + 2) / 3 * 4 +
                close.size();
    }
    std::string text;
    text.reserve(size);
    text += '<';
    text += KdbxPreserve::binaries;
    text += '>';
    for (KdbxInnerHeader::Binary& binary : binaries) {
        text += open;
        text += flagsOf(binary);
        text += openEnd;
        Base64::appendEncoded(text, binary.data);
        text += close;
        if (release) Bytes().swap(binary.data);
    }
    text += "</";
    text += KdbxPreserve::binaries;
    text += '>';
    root.unknownXML.push_back(std::move(text));
}

// Reads one child of Meta into `doc`; an unmodelled one is appended to `preserved` as XML text.
void readMetaChild(const Node& child, Reader& reader, KdbxFormatVersion version, KdbxXML::Document& doc,
                   std::string& preserved) {
    const std::string& name = child.name;
    if (name == "Generator") {
        doc.meta.generator = child.trimmedText();
    } else if (name == "DatabaseName") {
        doc.meta.databaseName = child.trimmedText();
    } else if (name == "DatabaseDescription") {
        doc.meta.databaseDescription = child.trimmedText();
    } else if (name == "DefaultUserName") {
        doc.meta.defaultUsername = child.trimmedText();
    } else if (name == "RecycleBinEnabled") {
        doc.meta.recycleBinEnabled = decodeBool(child).value_or(true);
    } else if (name == "RecycleBinUUID") {
        const auto id = decodeUUID(child);
        if (id && *id != UUID()) doc.meta.recycleBinUUID = *id;
    } else if (name == "HistoryMaxItems") {
        doc.meta.historyMaxItems = decodeInteger(child.text).value_or(10);
    } else if (name == "HistoryMaxSize") {
        doc.meta.historyMaxSize = decodeInteger(child.text).value_or(6291456);
    } else if (name == "HeaderHash") {
        doc.headerHash = Base64::decodeStrict(UnicodeText::trimWhiteSpace(child.text));
    } else if (name == "Binaries" && version.major < 4) {
        reader.readPool(child, doc.binaries);
    } else {
        child.appendRaw(preserved);
    }
}

// Reads the document while expat parses it: KeePassFile, Meta, Root and the groups are taken
// apart as they go, and every entry (with its history) is read into the model as soon as it
// ends, so the whole payload never stands as a tree at once. The outcome is that of reading the
// finished tree: a fault of the outline (a foreign document element, a second Meta or Root,
// another child of KeePassFile, no Root or root group) wins over a fault of the content, which
// wins in document order, and both only count once the document proved well-formed.
class DocumentReader final : public KdbxXMLNode::Handler {
  public:
    DocumentReader(KdbxFormatVersion version, const std::vector<KdbxInnerHeader::Binary>& binaries)
        : version_(version) {
        doc_.meta = KdbxMeta("Ombrix Database", "", "", true, std::nullopt, 10, 6291456, "Ombrix");
        if (version.major >= 4) doc_.binaries = binaries;
    }

    bool open(const std::string& name) override {
        if (outlineError_) return false;
        if (levels_.empty()) {
            if (name != "KeePassFile") return false;  // judged when it has ended
            levels_.push_back(Level::document);
            return true;
        }
        switch (levels_.back()) {
            case Level::document:
                return openTopLevel(name);
            case Level::meta:
                return false;
            case Level::root:
                if (name != "Group" || sawRootGroup_) return false;
                sawRootGroup_ = true;
                return openGroup(0);
            case Level::group:
                if (name == "Group") return openGroup(groups_.back().depth + 1);
                if (name == "Entry") return openEntry(false);
                if (name == "Times")
                    return openPart(Level::groupTimes, [&] { Reader::beginTimes(groups_.back()); });
                return false;
            case Level::entry:
                if (name == "Times")
                    return openPart(Level::entryTimes, [&] { Reader::beginTimes(entries_.back()); });
                if (name == "AutoType") {
                    return openPart(Level::autoType, [&] { Reader::beginAutoType(entries_.back()); });
                }
                if (name == "History" && !entries_.back().isHistory) return openPart(Level::history, [] {});
                return false;
            case Level::history:
                return name == "Entry" && openEntry(true);
            case Level::groupTimes:
            case Level::entryTimes:
            case Level::autoType:
                return false;
        }
        return false;
    }

    void child(Node::Ptr node) override {
        if (outlineError_) return;
        if (levels_.empty()) {
            return outline("kök öğe <KeePassFile> değil (<" + node->name + ">)");
        }
        switch (levels_.back()) {
            case Level::document:
                if (awaitingRoot_) {
                    awaitingRoot_ = false;
                    heldRoot_ = std::move(node);
                }
                return;
            case Level::meta:
                return content([&] { readMetaChild(*node, reader_, version_, doc_, preservedMeta_); });
            case Level::root:
                return node->appendRaw(preservedRoot_);
            case Level::group:
                return content([&] { reader_.groupChild(groups_.back(), *node); });
            case Level::entry:
                return content([&] { reader_.entryChild(entries_.back(), *node); });
            case Level::history:
                // Only Entry elements are versions; anything else in a History is dropped.
                return;
            case Level::groupTimes:
                return content([&] { Reader::timesChild(groups_.back(), *node); });
            case Level::entryTimes:
                return content([&] { Reader::timesChild(entries_.back(), *node); });
            case Level::autoType:
                return content([&] { Reader::autoTypeChild(entries_.back(), *node); });
        }
    }

    void close() override {
        const Level level = levels_.back();
        levels_.pop_back();
        const bool failed = contentError_ || outlineError_;
        if (level == Level::groupTimes && !failed) Reader::endTimes(groups_.back());
        if (level == Level::entryTimes && !failed) Reader::endTimes(entries_.back());
        if (level == Level::entry) {
            Reader::EntryState state = std::move(entries_.back());
            entries_.pop_back();
            if (failed) return;
            KdbxEntry entry = reader_.endEntry(state);
            if (levels_.back() == Level::history) {
                Reader::addVersion(entries_.back(), std::move(entry));
            } else {
                groups_.back().group.entries.push_back(std::move(entry));
            }
            return;
        }
        if (level != Level::group) return;
        Reader::GroupState state = std::move(groups_.back());
        groups_.pop_back();
        if (contentError_ || outlineError_) return;
        KdbxGroup group = reader_.endGroup(state);
        if (groups_.empty()) {
            doc_.root = std::move(group);
        } else {
            groups_.back().group.groups.push_back(std::move(group));
        }
    }

    // The document after a well-formed parse, or the error that decides it.
    KdbxXML::Document finish() {
        if (outlineError_) throw *outlineError_;
        if (!sawRoot_) throw KdbxError::xmlParseFailure("<Root> yok");
        if (heldRoot_) {
            // A version 3 Root that came before Meta, read now that the attachment pool is known.
            const Node* rootGroup = heldRoot_->child("Group");
            if (rootGroup == nullptr) throw KdbxError::xmlParseFailure("<Root> altında <Group> yok");
            if (contentError_) throw *contentError_;
            doc_.root = reader_.parseGroup(*rootGroup, 0);
            for (const Node::Ptr& child : heldRoot_->children) {
                if (child.get() != rootGroup) child->appendRaw(preservedRoot_);
            }
        } else {
            if (!sawRootGroup_) throw KdbxError::xmlParseFailure("<Root> altında <Group> yok");
            if (contentError_) throw *contentError_;
        }

        CowList<std::string>& kept = doc_.root.unknownXML;
        if (!preservedMeta_.empty()) kept.push_back(wrapper(KdbxPreserve::meta, preservedMeta_));
        if (!preservedRoot_.empty()) kept.push_back(wrapper(KdbxPreserve::root, preservedRoot_));
        keepBinaries(doc_.root, doc_.binaries, false);
        return std::move(doc_);
    }

  private:
    // What is open: the outline, a group, an entry, or a part of either read child by child.
    enum class Level { document, meta, root, group, entry, history, groupTimes, entryTimes, autoType };

    // The model has room for one Meta and one Root; anything else could not be written back.
    bool openTopLevel(const std::string& name) {
        if (name != "Meta" && name != "Root") {
            outline("<KeePassFile> altında tanınmayan öğe <" + name + ">");
            return false;
        }
        bool& seen = name == "Meta" ? sawMeta_ : sawRoot_;
        if (seen) {
            outline("birden çok <" + name + "> var");
            return false;
        }
        seen = true;
        if (name == "Meta") {
            levels_.push_back(Level::meta);
            return true;
        }
        // Version 3 entries refer to Meta's attachment pool: a Root before Meta waits for it whole.
        if (version_.major < 4 && !sawMeta_) {
            awaitingRoot_ = true;
            return false;
        }
        levels_.push_back(Level::root);
        return true;
    }

    bool openGroup(std::size_t depth) {
        if (contentError_) return false;
        try {
            groups_.push_back(reader_.beginGroup(depth));
        } catch (const KdbxError& error) {
            contentError_ = error;
            return false;
        }
        levels_.push_back(Level::group);
        return true;
    }

    bool openEntry(bool isHistory) {
        if (contentError_) return false;
        entries_.push_back(reader_.beginEntry(isHistory));
        levels_.push_back(Level::entry);
        return true;
    }

    template <class Begin>
    bool openPart(Level level, Begin&& begin) {
        if (contentError_) return false;
        begin();
        levels_.push_back(level);
        return true;
    }

    void outline(std::string detail) {
        if (!outlineError_) outlineError_ = KdbxError::xmlParseFailure(std::move(detail));
    }

    template <class Fn>
    void content(Fn&& fn) {
        if (contentError_) return;
        try {
            fn();
        } catch (const KdbxError& error) {
            contentError_ = error;
        }
    }

    KdbxFormatVersion version_;
    KdbxXML::Document doc_;
    Reader reader_;
    std::vector<Level> levels_;
    std::vector<Reader::GroupState> groups_;
    // The entry being read, and under a History the version being read.
    std::vector<Reader::EntryState> entries_;
    std::string preservedMeta_;
    std::string preservedRoot_;
    bool sawMeta_ = false;
    bool sawRoot_ = false;
    bool sawRootGroup_ = false;
    bool awaitingRoot_ = false;
    Node::Ptr heldRoot_;
    std::optional<KdbxError> outlineError_;
    std::optional<KdbxError> contentError_;
};

}  // namespace

namespace KdbxPreserve {

const std::set<std::string, std::less<>>& all() {
    static const std::set<std::string, std::less<>> names = {std::string(meta), std::string(root),
                                                             std::string(binaries)};
    return names;
}

}  // namespace KdbxPreserve

namespace KdbxXML {

Document parse(ByteView data, InnerStreamCipher& stream, KdbxFormatVersion version,
               const std::vector<KdbxInnerHeader::Binary>& binaries) {
    DocumentReader reader(version, binaries);
    if (!Node::parse(data, &stream, reader)) throw KdbxError::xmlParseFailure("belge çözümlenemedi");
    return reader.finish();
}

Document parse(const KdbxXMLNode::Source& next, InnerStreamCipher& stream, KdbxFormatVersion version,
               const std::vector<KdbxInnerHeader::Binary>& binaries) {
    DocumentReader reader(version, binaries);
    if (!Node::parse(next, &stream, reader)) throw KdbxError::xmlParseFailure("belge çözümlenemedi");
    return reader.finish();
}

void keepBinaries(KdbxGroup& root, std::vector<KdbxInnerHeader::Binary>&& binaries) {
    ::keepBinaries(root, binaries, true);
    binaries.clear();
}

std::vector<std::string> splitTags(std::string_view text) {
    std::vector<std::string> tags;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(";,", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view piece = text.substr(start, end - start);
        // Trim blanks and tabs (not line breaks) at both ends, scalar by scalar.
        std::size_t begin = 0;
        while (begin < piece.size()) {
            const UnicodeText::Scalar s = UnicodeText::scalarAt(piece, begin);
            if (!isSpaceSeparatorOrTab(s.value)) break;
            begin += s.length;
        }
        std::size_t stop = begin;
        for (std::size_t i = begin; i < piece.size();) {
            const UnicodeText::Scalar s = UnicodeText::scalarAt(piece, i);
            i += s.length;
            if (!isSpaceSeparatorOrTab(s.value)) stop = i;
        }
        if (stop > begin) tags.emplace_back(piece.substr(begin, stop - begin));
        start = end + 1;
    }
    return tags;
}

}  // namespace KdbxXML
