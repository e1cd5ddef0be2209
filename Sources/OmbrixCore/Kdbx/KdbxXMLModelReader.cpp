#include "OmbrixCore/Kdbx/KdbxXMLModelReader.h"

#include <charconv>
#include <chrono>
#include <utility>

#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/KdbxDate.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace KdbxXMLInternal {
namespace {

using Node = KdbxXMLNode;

Timestamp now() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::optional<std::string> optionalText(const Node& node) {
    if (node.text.empty()) return std::nullopt;
    return node.text;
}

// Reads one child of a Times element; one the owner does not model goes to `kept`. A group
// models only the creation and modification times.
void readTimesChild(Times& times, const Node& child, bool forEntry, KeptChildren& kept) {
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

}  // namespace

std::optional<UUID> decodeUUID(const Node& node) {
    const std::optional<Bytes> bytes = Base64::decodeStrict(UnicodeText::trimWhiteSpace(node.text));
    if (!bytes) return std::nullopt;
    return UUID::fromKdbxBytes(*bytes);
}

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

void KeptChildren::begin(const CowList<std::string>& unknownXML) {
    if (!position) position = unknownXML.size();
}

void KeptChildren::add(std::string_view name, const Node& child) {
    if (text.empty()) {
        text += '<';
        text += name;
        text += '>';
    }
    child.appendRaw(text);
}

void KeptChildren::store(std::string_view name, CowList<std::string>& unknownXML) {
    if (!position || text.empty()) return;
    text += "</";
    text += name;
    text += '>';
    unknownXML.insert(*position, std::move(text));
    text = std::string();
}

Reader::Reader() : now_(now()) {}

void Reader::readPool(const Node& binaries, std::vector<KdbxInnerHeader::Binary>& out) {
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

Reader::GroupState Reader::beginGroup(std::size_t depth) const {
    if (depth > KdbxXML::maxGroupDepth) throw KdbxError::corruptedData("gruplar çok derin iç içe");
    GroupState state;
    state.depth = depth;
    state.group.iconID = 48;
    state.group.isExpanded = true;
    state.group.created = now_;
    state.group.modified = now_;
    return state;
}

void Reader::beginTimes(GroupState& state) {
    state.keptTimes.begin(state.group.unknownXML);
    state.times = Times();
}

void Reader::timesChild(GroupState& state, const Node& child) {
    readTimesChild(state.times, child, false, state.keptTimes);
}

void Reader::endTimes(GroupState& state) {
    if (state.times.created) state.group.created = *state.times.created;
    if (state.times.modified) state.group.modified = *state.times.modified;
}

void Reader::groupChild(GroupState& state, const Node& child) {
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

KdbxGroup Reader::endGroup(GroupState& state) const {
    // A fresh identifier only when the file gave none that reads.
    state.group.id = state.id ? *state.id : UUID::random();
    state.keptTimes.store("Times", state.group.unknownXML);
    return std::move(state.group);
}

KdbxGroup Reader::parseGroup(const Node& node, std::size_t depth) {
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

Reader::EntryState Reader::beginEntry(bool isHistory) const {
    EntryState state;
    state.isHistory = isHistory;
    state.entry.created = now_;
    state.entry.modified = now_;
    state.entry.accessed = now_;
    return state;
}

void Reader::beginTimes(EntryState& state) {
    state.keptTimes.begin(state.entry.unknownXML);
    state.times = Times();
}

void Reader::timesChild(EntryState& state, const Node& child) {
    readTimesChild(state.times, child, true, state.keptTimes);
}

void Reader::endTimes(EntryState& state) {
    KdbxEntry& entry = state.entry;
    const Times& times = state.times;
    if (times.created) entry.created = *times.created;
    if (times.modified) entry.modified = *times.modified;
    entry.accessed = times.accessed.value_or(entry.modified);
    entry.expires = times.expires.value_or(false);
    entry.expiryTime = times.expiry;
}

void Reader::beginAutoType(EntryState& state) {
    state.keptAutoType.begin(state.entry.unknownXML);
}

void Reader::autoTypeChild(EntryState& state, const Node& child) {
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

void Reader::addVersion(EntryState& state, KdbxEntry version) {
    if (!state.isHistory) state.entry.historyItems.push_back(std::move(version));
}

void Reader::entryChild(EntryState& state, Node& child) {
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

KdbxEntry Reader::endEntry(EntryState& state) const {
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

KdbxEntry Reader::parseEntry(const Node& node, bool isHistory) {
    EntryState state = beginEntry(isHistory);
    for (const Node::Ptr& child : node.children) entryChild(state, *child);
    return endEntry(state);
}

void Reader::readString(Node& node, KdbxEntry& entry) {
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

void Reader::renumberReference(Node& binary) const {
    for (const Node::Ptr& child : binary.children) {
        if (child->name != "Value") continue;
        auto ref = child->attributes.find("Ref");
        if (ref == child->attributes.end()) continue;
        const auto position = poolPositions_.find(ref->second);
        ref->second = std::to_string(position != poolPositions_.end() ? position->second : poolSize_);
    }
}

void Reader::keepUnknown(const Node& node, CowList<std::string>& unknownXML) {
    if (KdbxPreserve::all().contains(node.name)) {
        throw KdbxError::xmlParseFailure("ayrılmış öğe adı <" + node.name + ">");
    }
    unknownXML.pushShared(shared(node.rawXMLString()));
}

std::shared_ptr<std::string> Reader::shared(std::string text) {
    constexpr std::size_t shortText = 64;
    constexpr std::size_t remembered = 4096;
    if (text.size() > shortText) return std::make_shared<std::string>(std::move(text));
    if (const auto found = interned_.find(text); found != interned_.end()) return found->second;
    auto element = std::make_shared<std::string>(std::move(text));
    if (interned_.size() < remembered) interned_.emplace(*element, element);
    return element;
}

}  // namespace KdbxXMLInternal
