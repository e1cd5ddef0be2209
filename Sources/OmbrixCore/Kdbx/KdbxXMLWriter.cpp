#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>

#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxDate.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxXMLEscape.h"
#include "OmbrixCore/Kdbx/KdbxXMLKeptTree.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

using KdbxXMLInternal::KeptTree;
using Node = KdbxXMLNode;
using Names = std::initializer_list<std::string_view>;

// The element name a kept text starts with: "<Name ...>" gives "Name".
std::string_view leadingName(std::string_view text) {
    if (text.empty() || text.front() != '<') return {};
    std::size_t end = 1;
    while (end < text.size() && std::string_view(" \t\r\n/>").find(text[end]) == std::string_view::npos)
        ++end;
    return text.substr(1, end - 1);
}

bool contains(Names names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A wrapper the reader appended to the root group, found by its exact name and read. One that
// no longer parses fails the write: leaving it out would drop what it carries.
bool findWrapper(const KdbxGroup& root, std::string_view name, KeptTree& tree,
                 Node::FragmentReader& fallback) {
    for (const std::string& text : root.unknownXML) {
        if (leadingName(text) != name) continue;
        if (!tree.readAny(text, fallback) || tree[tree.root()].name != name) {
            throw KdbxError::xmlParseFailure("korunan XML okunamadı (<" + std::string(name) + ">)");
        }
        return true;
    }
    return false;
}

// The kept texts of one group or entry, each with the name of the element it holds, so that the
// writer picks them by name and reads each one only while it writes it: a save needs room for
// one kept element at a time, however many an entry holds. The wrappers are the document's
// business and a text that does not parse is left out.
class KeptTexts {
  public:
    KeptTexts(const CowList<std::string>& texts, Node::FragmentReader& fallback)
        : texts_(texts), fallback_(fallback) {
        names_.reserve(texts.size());
        for (const std::string& text : texts) names_.push_back(nameOf(text));
    }

    // Reads into `tree` the first text holding a `name` element that parses; false with none.
    bool first(std::string_view name, KeptTree& tree) const {
        for (std::size_t i = 0; i < texts_.size(); ++i) {
            if (names_[i] != name) continue;
            if (tree.readAny(texts_[i], fallback_)) return true;
        }
        return false;
    }

    // Calls fn with every text whose name `pick` accepts, read into `tree`, in order; true when
    // it did so.
    template <class Pick, class Fn>
    bool each(KeptTree& tree, Pick&& pick, Fn&& fn) const {
        bool any = false;
        for (std::size_t i = 0; i < texts_.size(); ++i) {
            if (!pick(names_[i])) continue;
            if (tree.readAny(texts_[i], fallback_)) {
                fn(tree);
                any = true;
            }
        }
        return any;
    }

  private:
    std::string_view nameOf(const std::string& text) {
        const std::string_view name = leadingName(text);
        // A well-formed text that starts with a start tag holds the element named there.
        if (!name.empty() && name.front() != '?' && name.front() != '!') {
            return KdbxPreserve::all().contains(name) ? std::string_view() : name;
        }
        // One that starts with a declaration, a comment or a blank is read to learn its element.
        const Node::Ptr node = fallback_.parse(text);
        if (!node || KdbxPreserve::all().contains(node->name)) return {};
        return otherNames_.emplace_back(node->name);
    }

    const CowList<std::string>& texts_;
    Node::FragmentReader& fallback_;
    // Empty for a text that is left out.
    std::vector<std::string_view> names_;
    std::deque<std::string> otherNames_;
};

class Writer {
  public:
    Writer(InnerStreamCipher& stream, std::uint16_t major) : stream_(stream), major_(major) {}

    std::string take() { return std::move(out_); }

    // From now on, what has been written goes to `sink` whenever it reaches partSize bytes.
    void spillTo(const std::function<void(std::string_view)>& sink, std::size_t partSize) {
        sink_ = &sink;
        partSize_ = partSize;
    }
    void spillRest() {
        if (sink_ != nullptr && !out_.empty()) (*sink_)(out_);
        out_.clear();
    }

    void writeDocument(const KdbxDatabase& database, const std::optional<Bytes>& headerHash) {
        KeptTree meta, root;
        const bool hasMeta = findWrapper(database.root, KdbxPreserve::meta, meta, fragments_);
        const bool hasRoot = findWrapper(database.root, KdbxPreserve::root, root, fragments_);
        applyMemoryProtection(hasMeta ? &meta : nullptr);

        out_ += "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?><KeePassFile>";
        depth_ = 1;
        writeMeta(database, headerHash, hasMeta ? &meta : nullptr);
        out_ += "<Root>";
        depth_ = 2;
        writeGroup(database.root, 0);
        if (hasRoot) keptRest(&root, {});
        out_ += "</Root></KeePassFile>";
    }

  private:
    void spill() {
        if (sink_ == nullptr || out_.size() < partSize_) return;
        (*sink_)(out_);
        out_.clear();
    }

    // Every element start passes here with the number of elements open around it: the reader
    // refuses elements below KdbxXMLNode::maxDepth of them, so such a file could not be opened.
    void enter() {
        if (depth_ >= KdbxXMLNode::maxDepth) throw KdbxError::corruptedData("XML öğeleri çok derin iç içe");
        ++depth_;
    }

    void open(std::string_view name) {
        enter();
        out_ += '<';
        out_ += name;
        out_ += '>';
    }
    void close(std::string_view name) {
        --depth_;
        out_ += "</";
        out_ += name;
        out_ += '>';
    }
    void empty(std::string_view name) {
        out_ += '<';
        out_ += name;
        out_ += "/>";
    }

    // Emptiness is judged before escaping: a value of dropped characters still gets both tags.
    void element(std::string_view name, std::string_view value) {
        if (value.empty()) return empty(name);
        open(name);
        KdbxXMLEscape::appendText(out_, value);
        close(name);
    }
    void elementBool(std::string_view name, bool value) { element(name, value ? "True" : "False"); }
    void elementDate(std::string_view name, Timestamp date) {
        open(name);
        out_ += KdbxDate::encode(date, major_);
        close(name);
    }
    void elementNumber(std::string_view name, std::int64_t number) { element(name, std::to_string(number)); }
    void elementUUID(std::string_view name, const UUID& id) {
        open(name);
        Base64::appendEncoded(out_, id.kdbxBytes());
        close(name);
    }

    void protectedValue(std::string_view plain) {
        const std::string clean = KdbxXMLEscape::sanitise(plain);
        const Bytes cipher =
            stream_.process(ByteView(reinterpret_cast<const std::uint8_t*>(clean.data()), clean.size()));
        Base64::appendEncoded(out_, cipher);
    }

    void writeString(std::string_view key, std::string_view value, bool isProtected) {
        open("String");
        element("Key", key);
        if (isProtected) {
            enter();
            out_ += "<Value Protected=\"True\">";
            protectedValue(value);
            close("Value");
        } else {
            element("Value", value);
        }
        close("String");
    }

    // A kept element as the node tree would write it: its attributes sorted and escaped (they
    // are, as kept), a protected value encrypted anew, a kept date in the form of the version
    // written, an element with children without its own text. `inPool`: the element is a child
    // of a Binaries element, whose protected Binary children hold attachment bytes (kept as
    // base64).
    void writeKept(const KeptTree& tree, std::uint32_t index, bool inPool = false) {
        const KeptTree::Element& e = tree[index];
        enter();
        if (e.isProtected) {
            out_ += '<';
            out_ += e.name;
            out_ += e.attributes;
            out_ += " Protected=\"True\">";
            const std::string plain = KeptTree::unescape(e.text);
            if (inPool && e.name == "Binary") {
                // Encrypted as the bytes they are, so that reading gives the same bytes again.
                const std::optional<Bytes> bytes = Base64::decodeStrict(UnicodeText::trimWhiteSpace(plain));
                if (!bytes) throw KdbxError::corruptedData("korunan ek dosya base64 değil");
                Base64::appendEncoded(out_, stream_.process(*bytes));
            } else {
                protectedValue(plain);
            }
            return close(e.name);
        }
        const bool leaf = e.firstChild == KeptTree::none;
        if (leaf && e.attributes.empty() && isDateName(e.name)) {
            // A kept date (a group's access time, a deletion time, a Meta change time) is written
            // in the form of the version being written, as the modelled dates are: readers of a
            // version expect its own form everywhere.
            if (const std::optional<Timestamp> date = KdbxDate::parse(KeptTree::unescape(e.text))) {
                --depth_;
                return elementDate(e.name, *date);
            }
        }
        out_ += '<';
        out_ += e.name;
        out_ += e.attributes;
        if (leaf && e.text.empty()) {
            --depth_;
            out_ += "/>";
            return;
        }
        out_ += '>';
        if (leaf) {
            out_ += e.text;
        } else {
            const bool pool = e.name == "Binaries";
            for (std::uint32_t c = e.firstChild; c != KeptTree::none; c = tree[c].nextSibling)
                writeKept(tree, c, pool);
        }
        close(e.name);
    }

    static bool isDateName(std::string_view name) {
        static const std::set<std::string, std::less<>> dateNames = {
            "CreationTime",           "LastModificationTime",
            "LastAccessTime",         "ExpiryTime",
            "LocationChanged",        "DeletionTime",
            "DatabaseNameChanged",    "DatabaseDescriptionChanged",
            "DefaultUserNameChanged", "MasterKeyChanged",
            "RecycleBinChanged",      "EntryTemplatesGroupChanged",
            "SettingsChanged"};
        return dateNames.contains(name);
    }

    // The kept children of `kept` named `name`, or, when there are none, what `fallback` writes.
    template <class Fallback>
    void keptOr(const KeptTree* kept, std::string_view name, Fallback&& fallback) {
        bool wrote = false;
        if (kept != nullptr) {
            for (std::uint32_t c = (*kept)[kept->root()].firstChild; c != KeptTree::none;
                 c = (*kept)[c].nextSibling) {
                if ((*kept)[c].name != name) continue;
                writeKept(*kept, c);
                wrote = true;
            }
        }
        if (!wrote) fallback();
    }

    // The kept children whose names the element's fixed form does not write.
    void keptRest(const KeptTree* kept, Names fixed) {
        if (kept == nullptr) return;
        for (std::uint32_t c = (*kept)[kept->root()].firstChild; c != KeptTree::none;
             c = (*kept)[c].nextSibling) {
            if (!contains(fixed, (*kept)[c].name)) writeKept(*kept, c);
        }
    }

    void applyMemoryProtection(const KeptTree* preservedMeta) {
        if (preservedMeta == nullptr) return;
        const std::uint32_t memory = preservedMeta->child(preservedMeta->root(), "MemoryProtection");
        if (memory == KeptTree::none) return;
        auto flag = [&](std::string_view name, bool fallback) {
            const std::uint32_t child = preservedMeta->child(memory, name);
            // Only the text of an element without children counts, as in a node's text.
            if (child == KeptTree::none) return fallback;
            const KeptTree::Element& e = (*preservedMeta)[child];
            const std::string text =
                e.firstChild == KeptTree::none ? KeptTree::unescape(e.text) : std::string();
            return KdbxXML::parseBool(UnicodeText::trimWhiteSpace(text)).value_or(fallback);
        };
        protectTitle_ = flag("ProtectTitle", false);
        protectUsername_ = flag("ProtectUserName", false);
        protectPassword_ = flag("ProtectPassword", true);
        protectURL_ = flag("ProtectURL", false);
        protectNotes_ = flag("ProtectNotes", false);
    }

    void writeMeta(const KdbxDatabase& database, const std::optional<Bytes>& headerHash,
                   const KeptTree* preserved) {
        const KdbxMeta& meta = database.meta;
        open("Meta");
        element("Generator", meta.generator);
        if (headerHash && major_ <= 3) element("HeaderHash", Base64::encode(*headerHash));
        element("DatabaseName", meta.databaseName);
        element("DatabaseDescription", meta.databaseDescription);
        element("DefaultUserName", meta.defaultUsername);
        keptOr(preserved, "MemoryProtection", [&] {
            out_ +=
                "<MemoryProtection><ProtectTitle>False</ProtectTitle><ProtectUserName>False</ProtectUserName>"
                "<ProtectPassword>True</ProtectPassword><ProtectURL>False</ProtectURL>"
                "<ProtectNotes>False</ProtectNotes></MemoryProtection>";
        });
        elementBool("RecycleBinEnabled", meta.recycleBinEnabled);
        elementUUID("RecycleBinUUID", meta.recycleBinUUID.value_or(UUID()));
        elementNumber("HistoryMaxItems", meta.historyMaxItems);
        elementNumber("HistoryMaxSize", meta.historyMaxSize);
        keptRest(preserved, {"MemoryProtection"});
        close("Meta");
    }

    void writeGroup(const KdbxGroup& group, std::size_t depth) {
        // The reader refuses deeper trees; a file written deeper could not be opened again.
        if (depth > KdbxXML::maxGroupDepth) throw KdbxError::corruptedData("gruplar çok derin iç içe");
        const KeptTexts kept(group.unknownXML, fragments_);
        KeptTree& timesTree = timesTree_;
        const KeptTree* times = kept.first("Times", timesTree) ? &timesTree : nullptr;
        open("Group");
        elementUUID("UUID", group.id);
        element("Name", group.name);
        element("Notes", group.notes);
        elementNumber("IconID", group.iconID);

        open("Times");
        elementDate("CreationTime", group.created);
        elementDate("LastModificationTime", group.modified);
        keptOr(times, "LastAccessTime", [&] { elementDate("LastAccessTime", group.modified); });
        keptOr(times, "ExpiryTime", [&] { elementDate("ExpiryTime", group.modified); });
        keptOr(times, "Expires", [&] { elementBool("Expires", false); });
        keptOr(times, "UsageCount", [&] { element("UsageCount", "0"); });
        keptOr(times, "LocationChanged", [&] { elementDate("LocationChanged", group.created); });
        keptRest(times, {"CreationTime", "LastModificationTime", "LastAccessTime", "ExpiryTime", "Expires",
                         "UsageCount", "LocationChanged"});
        close("Times");

        elementBool("IsExpanded", group.isExpanded);
        element("DefaultAutoTypeSequence", group.defaultAutoTypeSequence.value_or(""));
        kept.each(
            eachTree_, [](std::string_view name) { return !name.empty() && name != "Times"; },
            [&](const KeptTree& tree) { writeKept(tree, tree.root()); });
        for (const KdbxEntry& entry : group.entries) writeEntry(entry, false);
        for (const KdbxGroup& child : group.groups) writeGroup(child, depth + 1);
        close("Group");
        spill();
    }

    void writeEntry(const KdbxEntry& entry, bool isHistory) {
        const KeptTexts kept(entry.unknownXML, fragments_);
        const KeptTree* times = kept.first("Times", timesTree_) ? &timesTree_ : nullptr;
        const KeptTree* autoType = kept.first("AutoType", autoTypeTree_) ? &autoTypeTree_ : nullptr;
        // Empty placeholders unless the file carried the element: one copy each, never more.
        auto keptElement = [&](std::string_view name) {
            if (!kept.each(
                    eachTree_, [&](std::string_view n) { return n == name; },
                    [&](const KeptTree& tree) { writeKept(tree, tree.root()); }))
                empty(name);
        };

        open("Entry");
        elementUUID("UUID", entry.id);
        elementNumber("IconID", entry.iconID);
        keptElement("ForegroundColor");
        keptElement("BackgroundColor");
        keptElement("OverrideURL");
        std::string tags;
        for (const std::string& tag : entry.tags) {
            if (!tags.empty()) tags += ';';
            tags += tag;
        }
        element("Tags", tags);

        open("Times");
        elementDate("CreationTime", entry.created);
        elementDate("LastModificationTime", entry.modified);
        elementDate("LastAccessTime", entry.accessed);
        elementDate("ExpiryTime", entry.expiryTime.value_or(entry.modified));
        elementBool("Expires", entry.expires);
        keptOr(times, "UsageCount", [&] { element("UsageCount", "0"); });
        keptOr(times, "LocationChanged", [&] { elementDate("LocationChanged", entry.created); });
        keptRest(times, {"CreationTime", "LastModificationTime", "LastAccessTime", "ExpiryTime", "Expires",
                         "UsageCount", "LocationChanged"});
        close("Times");

        // A standard field is protected by the database's flag, or because it was stored so.
        const std::set<std::string>& stored = entry.protectedCustomFields;
        writeString("Title", entry.title, protectTitle_ || stored.contains("Title"));
        writeString("UserName", entry.username, protectUsername_ || stored.contains("UserName"));
        writeString("Password", entry.password.value(), protectPassword_ || stored.contains("Password"));
        writeString("URL", entry.url, protectURL_ || stored.contains("URL"));
        writeString("Notes", entry.notes, protectNotes_ || stored.contains("Notes"));
        for (const auto& [key, value] : entry.customFields) {
            writeString(key, value.value(), entry.protectedCustomFields.contains(key));
        }

        open("AutoType");
        elementBool("Enabled", entry.autoTypeEnabled);
        keptOr(autoType, "DataTransferObfuscation", [&] { element("DataTransferObfuscation", "0"); });
        element("DefaultSequence", entry.autoTypeSequence.value_or(""));
        for (const AutoTypeAssociation& association : entry.autoTypeWindowAssociations) {
            open("Association");
            element("Window", association.window);
            element("KeystrokeSequence", association.sequence.value_or(""));
            close("Association");
        }
        keptRest(autoType, {"Enabled", "DataTransferObfuscation", "DefaultSequence", "Association"});
        close("AutoType");

        kept.each(
            eachTree_,
            [](std::string_view name) {
                return !name.empty() &&
                       !contains({"Times", "AutoType", "ForegroundColor", "BackgroundColor", "OverrideURL"},
                                 name);
            },
            [&](const KeptTree& tree) { writeKept(tree, tree.root()); });
        if (!isHistory && !entry.historyItems.empty()) {
            open("History");
            for (const KdbxEntry& version : entry.historyItems) writeEntry(version, true);
            close("History");
        }
        close("Entry");
        spill();
    }

    std::string out_;
    const std::function<void(std::string_view)>* sink_ = nullptr;
    std::size_t partSize_ = 0;
    Node::FragmentReader fragments_;
    // The kept elements being written, reused from one group or entry to the next (each is done
    // with them before it writes the entries or groups inside it).
    KeptTree timesTree_, autoTypeTree_, eachTree_;
    std::size_t depth_ = 0;
    InnerStreamCipher& stream_;
    std::uint16_t major_;
    bool protectTitle_ = false;
    bool protectUsername_ = false;
    bool protectPassword_ = true;
    bool protectURL_ = false;
    bool protectNotes_ = false;
};

// An optional sign and decimal digits with a value from 0 to 255.
std::optional<std::uint8_t> decodeFlags(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        const bool negative = text.front() == '-';
        text.remove_prefix(1);
        if (negative) {
            if (text.empty() || text.find_first_not_of('0') != std::string_view::npos) return std::nullopt;
            return 0;
        }
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

}  // namespace

namespace KdbxXML {

Bytes serialize(const KdbxDatabase& database, InnerStreamCipher& stream, std::uint16_t major,
                const std::optional<Bytes>& headerHash) {
    Writer writer(stream, major);
    writer.writeDocument(database, headerHash);
    const std::string text = writer.take();
    return Bytes(text.begin(), text.end());
}

void serialize(const KdbxDatabase& database, InnerStreamCipher& stream,
               const std::function<void(std::string_view)>& sink, std::size_t partSize) {
    Writer writer(stream, 4);
    writer.spillTo(sink, partSize);
    writer.writeDocument(database, std::nullopt);
    writer.spillRest();
}

std::vector<KdbxInnerHeader::Binary> preservedBinaries(const KdbxGroup& root) {
    std::vector<KdbxInnerHeader::Binary> out;
    forEachPreservedBinaryText(root, [&](std::uint8_t flags, std::string_view text) {
        std::optional<Bytes> data = Base64::decodeStrict(text);
        if (!data) throw KdbxError::corruptedData("korunan ek dosya base64 değil");
        out.push_back({flags, std::move(*data)});
    });
    return out;
}

void forEachPreservedBinaryText(const KdbxGroup& root,
                                const std::function<void(std::uint8_t, std::string_view)>& fn) {
    KeptTree wrapper;
    Node::FragmentReader fallback;
    if (!findWrapper(root, KdbxPreserve::binaries, wrapper, fallback)) return;
    for (std::uint32_t c = wrapper[wrapper.root()].firstChild; c != KeptTree::none;
         c = wrapper[c].nextSibling) {
        const KeptTree::Element& binary = wrapper[c];
        if (binary.name != "Binary") continue;
        const std::optional<std::string> flags = wrapper.attribute(c, "Flags");
        // Base64 holds no escaped characters: the text is decoded where it stands.
        const std::string_view text = binary.firstChild != KeptTree::none ? std::string_view() : binary.text;
        const std::uint8_t flagsByte = flags ? decodeFlags(*flags).value_or(1) : std::uint8_t{1};
        if (text.find('&') == std::string_view::npos) {
            fn(flagsByte, UnicodeText::trimWhiteSpace(text));
        } else {
            const std::string unescaped = KeptTree::unescape(text);
            fn(flagsByte, UnicodeText::trimWhiteSpace(unescaped));
        }
    }
}

}  // namespace KdbxXML
