#include "OmbrixCore/Kdbx/KdbxXMLReader.h"

#include <utility>

#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxXMLModelReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

using KdbxXMLInternal::decodeBool;
using KdbxXMLInternal::decodeInteger;
using KdbxXMLInternal::decodeUUID;
using KdbxXMLInternal::Reader;
using Node = KdbxXMLNode;

bool isSpaceSeparatorOrTab(char32_t c) {
    return c == '\t' || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

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

    bool open(std::string_view name) override {
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
    bool openTopLevel(std::string_view name) {
        if (name != "Meta" && name != "Root") {
            outline("<KeePassFile> altında tanınmayan öğe <" + std::string(name) + ">");
            return false;
        }
        bool& seen = name == "Meta" ? sawMeta_ : sawRoot_;
        if (seen) {
            outline("birden çok <" + std::string(name) + "> var");
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
