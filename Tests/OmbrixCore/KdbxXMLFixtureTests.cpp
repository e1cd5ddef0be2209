// The XML reader and writer against the payloads of the fixture databases, written by an
// independent writer of the format. Until key derivation exists here, each payload is decrypted
// with the manifest's transformed key through the engine's own framing, payload cipher, gzip and
// inner header; the reader's result is compared with the manifest, then written, read again and
// compared once more, and written a second time to the very same XML.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "OmbrixCore/Crypto/Gzip.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxDate.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"
#include "Support/Fixtures.h"

using nlohmann::json;
using testsupport::fixturePath;
using testsupport::fromHex;
using testsupport::readFile;
using testsupport::toHex;

namespace {

struct Payload {
    Bytes xml;
    std::shared_ptr<InnerStreamCipher> stream;
    std::vector<KdbxInnerHeader::Binary> binaries;
    KdbxFormatVersion version;
};

Payload decryptFixture(const json& file) {
    const Bytes bytes = readFile(fixturePath("kdbx/" + file.at("file").get<std::string>()));
    const KdbxHeader header = KdbxHeader::parse(bytes);
    const Bytes transformed = fromHex(file.at("key_material").at("transformed_key"));
    const Bytes master = KdbxCrypto::sha256({header.masterSeed, transformed});
    Payload payload;
    payload.version = {header.major, header.minor};
    if (header.isKdbx4()) {
        KdbxReader reader(bytes);
        reader.read(static_cast<std::int64_t>(header.endOffset) + 64);
        const Bytes one = {0x01};
        const Bytes encrypted =
            KdbxCrypto::readHMACBlocks(reader, KdbxCrypto::sha512({header.masterSeed, transformed, one}));
        Bytes plain = KdbxCrypto::decryptPayload(encrypted, header.cipher(), master, header.encryptionIV);
        if (header.compressed()) plain = Gzip::decompress(plain);
        KdbxReader inner(plain);
        const KdbxInnerHeader innerHeader = KdbxInnerHeader::parse(inner);
        payload.xml = inner.read(static_cast<std::int64_t>(inner.remaining()));
        payload.stream = KdbxCrypto::makeInnerStream(innerHeader.streamID, innerHeader.streamKey);
        payload.binaries = innerHeader.binaries;
    } else {
        const ByteView encrypted = ByteView(bytes).subspan(header.endOffset);
        const Bytes plain =
            KdbxCrypto::decryptPayload(encrypted, header.cipher(), master, header.encryptionIV);
        const Bytes& start = *header.streamStartBytes;
        EXPECT_TRUE(std::equal(start.begin(), start.end(), plain.begin()));
        KdbxReader reader(Bytes(plain.begin() + static_cast<std::ptrdiff_t>(start.size()), plain.end()));
        payload.xml = KdbxCrypto::readHashedBlocks(reader);
        if (header.compressed()) payload.xml = Gzip::decompress(payload.xml);
        payload.stream =
            KdbxCrypto::makeInnerStream(*header.innerRandomStreamID, *header.innerRandomStreamKey);
    }
    return payload;
}

std::optional<std::string> optionalText(const json& value) {
    if (value.is_null()) return std::nullopt;
    return value.get<std::string>();
}

std::string uuidText(const UUID& id) {
    return id.uuidString();
}

std::string dateText(Timestamp date) {
    return KdbxDate::iso8601(date);
}

// The kept element of this name among a group's or entry's unmodelled XML.
KdbxXMLNode::Ptr kept(const std::vector<std::string>& unknownXML, std::string_view name) {
    for (const std::string& text : unknownXML) {
        KdbxXMLNode::Ptr node = KdbxXMLNode::parse(std::string_view(text));
        if (node && node->name == name) return node;
    }
    return nullptr;
}

std::optional<std::string> keptUUID(const std::vector<std::string>& unknownXML, std::string_view name) {
    KdbxXMLNode::Ptr node = kept(unknownXML, name);
    if (!node) return std::nullopt;
    auto bytes = Base64::decodeStrict(node->trimmedText());
    if (!bytes || bytes->size() != 16) return std::nullopt;
    return uuidText(*UUID::fromKdbxBytes(*bytes));
}

// null in the manifest: absent or empty.
void expectKeptText(const std::vector<std::string>& unknownXML, std::string_view name, const json& expected) {
    KdbxXMLNode::Ptr node = kept(unknownXML, name);
    if (expected.is_null()) {
        EXPECT_TRUE(!node || node->text.empty() || node->text == "null") << name;
    } else {
        ASSERT_TRUE(node) << name;
        EXPECT_EQ(node->text, expected.is_boolean() ? (expected.get<bool>() ? "True" : "False")
                                                    : expected.get<std::string>())
            << name;
    }
}

void compareEntry(const KdbxEntry& entry, const json& expected,
                  const std::vector<KdbxInnerHeader::Binary>& binaries, bool isHistory) {
    SCOPED_TRACE(expected.at("title").get<std::string>());
    EXPECT_EQ(uuidText(entry.id), expected.at("uuid"));
    EXPECT_EQ(entry.title, expected.at("title"));
    EXPECT_EQ(entry.username, expected.at("username"));
    EXPECT_TRUE(entry.password.value() == expected.at("password").get<std::string>());  // not printed
    EXPECT_EQ(entry.url, expected.at("url"));
    EXPECT_EQ(entry.notes, expected.at("notes"));
    std::map<std::string, std::string> fields;
    std::set<std::string> protectedFields;
    for (const json& field : expected.at("custom_fields")) {
        fields[field.at("key")] = field.at("value");
        if (field.at("protected").get<bool>()) protectedFields.insert(field.at("key"));
    }
    EXPECT_TRUE(entry.customFields == fields);
    EXPECT_EQ(entry.protectedCustomFields, protectedFields);
    EXPECT_EQ(entry.tags, expected.at("tags").get<std::vector<std::string>>());
    EXPECT_EQ(entry.iconID, expected.at("icon_id"));
    EXPECT_EQ(keptUUID(entry.unknownXML, "CustomIconUUID"), optionalText(expected.at("custom_icon_uuid")));
    expectKeptText(entry.unknownXML, "ForegroundColor", expected.at("foreground_color"));
    expectKeptText(entry.unknownXML, "BackgroundColor", expected.at("background_color"));
    expectKeptText(entry.unknownXML, "OverrideURL", expected.at("override_url"));
    expectKeptText(entry.unknownXML, "QualityCheck", expected.at("quality_check"));
    EXPECT_EQ(keptUUID(entry.unknownXML, "PreviousParentGroup"),
              optionalText(expected.at("previous_parent_group")));

    const json& autoType = expected.at("autotype");
    EXPECT_EQ(entry.autoTypeEnabled, autoType.at("enabled"));
    KdbxXMLNode::Ptr keptAutoType = kept(entry.unknownXML, "AutoType");
    ASSERT_TRUE(keptAutoType);
    EXPECT_EQ(keptAutoType->child("DataTransferObfuscation")->text,
              std::to_string(autoType.at("obfuscation").get<int>()));
    EXPECT_EQ(entry.autoTypeSequence, optionalText(autoType.at("sequence")));
    ASSERT_EQ(entry.autoTypeWindowAssociations.size(), autoType.at("associations").size());
    for (std::size_t i = 0; i < entry.autoTypeWindowAssociations.size(); ++i) {
        EXPECT_EQ(entry.autoTypeWindowAssociations[i].window, autoType.at("associations")[i].at("window"));
        EXPECT_EQ(entry.autoTypeWindowAssociations[i].sequence,
                  optionalText(autoType.at("associations")[i].at("sequence")));
    }

    const json& times = expected.at("times");
    EXPECT_EQ(dateText(entry.created), times.at("created"));
    EXPECT_EQ(dateText(entry.modified), times.at("modified"));
    EXPECT_EQ(dateText(entry.accessed), times.at("accessed"));
    EXPECT_EQ(entry.expires, times.at("expires"));
    ASSERT_TRUE(entry.expiryTime.has_value());
    EXPECT_EQ(dateText(*entry.expiryTime), times.at("expiry_time"));

    // Attachments by reference: the position in the attachment list.
    std::vector<const KdbxXMLNode*> references;
    std::vector<KdbxXMLNode::Ptr> holders;
    for (const std::string& text : entry.unknownXML) {
        KdbxXMLNode::Ptr node = KdbxXMLNode::parse(std::string_view(text));
        if (node && node->name == "Binary") {
            references.push_back(node.get());
            holders.push_back(node);
        }
    }
    ASSERT_EQ(references.size(), expected.at("attachments").size());
    for (std::size_t i = 0; i < references.size(); ++i) {
        const json& attachment = expected.at("attachments")[i];
        EXPECT_EQ(references[i]->child("Key")->text, attachment.at("name"));
        const std::size_t ref = std::stoul(references[i]->child("Value")->attributes.at("Ref"));
        ASSERT_LT(ref, binaries.size());
        EXPECT_EQ(binaries[ref].data.size(), attachment.at("size"));
        EXPECT_EQ(toHex(KdbxCrypto::sha256(binaries[ref].data)), attachment.at("sha256"));
    }

    if (isHistory) return;
    ASSERT_EQ(entry.historyItems.size(), expected.at("history_count"));
    for (std::size_t i = 0; i < entry.historyItems.size(); ++i) {
        EXPECT_TRUE(entry.historyItems[i].historyItems.empty());
        compareEntry(entry.historyItems[i], expected.at("history")[i], binaries, true);
    }
}

void compareGroup(const KdbxGroup& group, const json& expected,
                  const std::vector<KdbxInnerHeader::Binary>& binaries) {
    SCOPED_TRACE(expected.at("name").get<std::string>());
    EXPECT_EQ(uuidText(group.id), expected.at("uuid"));
    EXPECT_EQ(group.name, expected.at("name"));
    EXPECT_EQ(group.notes, expected.at("notes"));
    EXPECT_EQ(group.iconID, expected.at("icon_id"));
    EXPECT_EQ(group.isExpanded, expected.at("is_expanded"));
    EXPECT_EQ(group.defaultAutoTypeSequence, optionalText(expected.at("default_autotype_sequence")));
    EXPECT_EQ(dateText(group.created), expected.at("times").at("created"));
    EXPECT_EQ(dateText(group.modified), expected.at("times").at("modified"));
    EXPECT_EQ(keptUUID(group.unknownXML, "CustomIconUUID"), optionalText(expected.at("custom_icon_uuid")));
    expectKeptText(group.unknownXML, "EnableAutoType", expected.at("enable_autotype"));
    expectKeptText(group.unknownXML, "EnableSearching", expected.at("enable_searching"));
    if (!expected.at("tags").empty()) {
        KdbxXMLNode::Ptr tags = kept(group.unknownXML, "Tags");
        ASSERT_TRUE(tags);
        EXPECT_EQ(KdbxXML::splitTags(tags->text), expected.at("tags").get<std::vector<std::string>>());
    }
    ASSERT_EQ(group.entries.size(), expected.at("entries").size());
    for (std::size_t i = 0; i < group.entries.size(); ++i)
        compareEntry(group.entries[i], expected.at("entries")[i], binaries, false);
    ASSERT_EQ(group.groups.size(), expected.at("groups").size());
    for (std::size_t i = 0; i < group.groups.size(); ++i)
        compareGroup(group.groups[i], expected.at("groups")[i], binaries);
}

void compareDocument(const KdbxXML::Document& doc, const json& content) {
    const json& meta = content.at("meta");
    EXPECT_EQ(doc.meta.generator, meta.at("generator"));
    EXPECT_EQ(doc.meta.databaseName, meta.at("database_name"));
    EXPECT_EQ(doc.meta.databaseDescription, meta.at("database_description"));
    EXPECT_EQ(doc.meta.defaultUsername, meta.at("default_username"));
    EXPECT_EQ(doc.meta.recycleBinEnabled, meta.at("recycle_bin_enabled"));
    EXPECT_EQ(doc.meta.recycleBinUUID ? std::optional(uuidText(*doc.meta.recycleBinUUID)) : std::nullopt,
              optionalText(meta.at("recycle_bin_uuid")));
    EXPECT_EQ(doc.meta.historyMaxItems, meta.at("history_max_items"));
    EXPECT_EQ(doc.meta.historyMaxSize, meta.at("history_max_size"));

    // Unmodelled metadata and the deleted objects travel in the wrappers.
    KdbxXMLNode::Ptr preservedMeta = kept(doc.root.unknownXML, KdbxPreserve::meta);
    ASSERT_TRUE(preservedMeta);
    const KdbxXMLNode* icons = preservedMeta->child("CustomIcons");
    ASSERT_TRUE(icons);
    ASSERT_EQ(icons->children.size(), meta.at("custom_icons").size());
    for (std::size_t i = 0; i < icons->children.size(); ++i) {
        const json& icon = meta.at("custom_icons")[i];
        const Bytes png = *Base64::decodeStrict(icons->children[i]->child("Data")->text);
        EXPECT_EQ(png.size(), icon.at("size"));
        EXPECT_EQ(toHex(KdbxCrypto::sha256(png)), icon.at("sha256"));
        const KdbxXMLNode* name = icons->children[i]->child("Name");
        EXPECT_EQ(name ? std::optional(name->text) : std::nullopt, optionalText(icon.at("name")));
    }
    const auto items = preservedMeta->child("CustomData")->childrenNamed("Item");
    ASSERT_EQ(items.size(), meta.at("custom_data").size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->child("Key")->text, meta.at("custom_data")[i].at("key"));
        EXPECT_EQ(items[i]->child("Value")->text, meta.at("custom_data")[i].at("value"));
    }
    EXPECT_FALSE(preservedMeta->child("Binaries")) << "a version 3 pool moves to the attachments";
    KdbxXMLNode::Ptr preservedRoot = kept(doc.root.unknownXML, KdbxPreserve::root);
    ASSERT_TRUE(preservedRoot);
    const auto deleted = preservedRoot->child("DeletedObjects")->childrenNamed("DeletedObject");
    ASSERT_EQ(deleted.size(), content.at("deleted_objects").size());
    for (std::size_t i = 0; i < deleted.size(); ++i) {
        const json& object = content.at("deleted_objects")[i];
        EXPECT_EQ(uuidText(*UUID::fromKdbxBytes(*Base64::decodeStrict(deleted[i]->child("UUID")->text))),
                  object.at("uuid"));
        EXPECT_EQ(dateText(*KdbxDate::parse(deleted[i]->child("DeletionTime")->text)), object.at("time"));
    }

    compareGroup(doc.root, content.at("root"), doc.binaries);
}

json manifest() {
    std::ifstream in(fixturePath("kdbx/manifest.json"));
    return json::parse(in);
}

const Bytes saveStreamKey(64, 0x42);

Bytes write(const KdbxXML::Document& doc, KdbxFormatVersion version) {
    KdbxDatabase database(doc.meta, doc.root, KdbxCipher::chacha20, KdfSettings::recommended(), true,
                          version);
    auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, saveStreamKey);
    return KdbxXML::serialize(database, *stream, 4);
}

KdbxXML::Document readWritten(const Bytes& xml, const std::vector<KdbxInnerHeader::Binary>& binaries) {
    auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, saveStreamKey);
    return KdbxXML::parse(xml, *stream, {4, 1}, binaries);
}

}  // namespace

TEST(KdbxXMLFixtures, ReadWriteReadMatchesTheManifestAndReachesAFixedPoint) {
    const json all = manifest();
    ASSERT_FALSE(all.at("files").empty());
    for (const json& file : all.at("files")) {
        const std::string name = file.at("file");
        SCOPED_TRACE(name);
        Payload payload = decryptFixture(file);
        const KdbxXML::Document doc =
            KdbxXML::parse(payload.xml, *payload.stream, payload.version, payload.binaries);
        compareDocument(doc, file.at("content"));
        if (payload.version.major < 4) {
            ASSERT_TRUE(doc.headerHash.has_value());
            EXPECT_EQ(*doc.headerHash,
                      KdbxCrypto::sha256(KdbxHeader::parse(readFile(fixturePath("kdbx/" + name))).rawData));
        }

        // Saved as version 4: the attachments go to the inner header, a version 3 pool included.
        const Bytes first = write(doc, payload.version);
        const std::vector<KdbxInnerHeader::Binary> binaries = KdbxXML::preservedBinaries(doc.root);
        EXPECT_EQ(binaries, doc.binaries);
        const KdbxXML::Document again = readWritten(first, binaries);
        compareDocument(again, file.at("content"));
        EXPECT_EQ(again.meta, doc.meta);

        const Bytes second = write(again, {4, 1});
        EXPECT_TRUE(second == first) << std::string(second.begin(), second.end());
        const Bytes third = write(readWritten(second, KdbxXML::preservedBinaries(again.root)), {4, 1});
        EXPECT_TRUE(third == second);
    }
}
