#pragma once

// The content of the KDBX fixtures as their manifest gives it, compared with what the engine
// read: shared by the XML layer's tests and the whole-file tests.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxDate.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/Models.h"
#include "Support/Fixtures.h"

namespace kdbxfixtures {

using nlohmann::json;

inline std::optional<std::string> optionalText(const json& value) {
    if (value.is_null()) return std::nullopt;
    return value.get<std::string>();
}

inline std::string uuidText(const UUID& id) {
    return id.uuidString();
}

inline std::string dateText(Timestamp date) {
    return KdbxDate::iso8601(date);
}

// The kept element of this name among a group's or entry's unmodelled XML.
inline KdbxXMLNode::Ptr kept(const CowList<std::string>& unknownXML, std::string_view name) {
    for (const std::string& text : unknownXML) {
        KdbxXMLNode::Ptr node = KdbxXMLNode::parse(std::string_view(text));
        if (node && node->name == name) return node;
    }
    return nullptr;
}

inline std::optional<std::string> keptUUID(const CowList<std::string>& unknownXML, std::string_view name) {
    KdbxXMLNode::Ptr node = kept(unknownXML, name);
    if (!node) return std::nullopt;
    auto bytes = Base64::decodeStrict(node->trimmedText());
    if (!bytes || bytes->size() != 16) return std::nullopt;
    return uuidText(*UUID::fromKdbxBytes(*bytes));
}

// null in the manifest: absent or empty.
inline void expectKeptText(const CowList<std::string>& unknownXML, std::string_view name,
                           const json& expected) {
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

inline void compareEntry(const KdbxEntry& entry, const json& expected,
                         const std::vector<KdbxInnerHeader::Binary>& binaries, bool isHistory) {
    SCOPED_TRACE(expected.at("title").get<std::string>());
    EXPECT_EQ(uuidText(entry.id), expected.at("uuid"));
    EXPECT_EQ(entry.title, expected.at("title"));
    EXPECT_EQ(entry.username, expected.at("username"));
    EXPECT_TRUE(entry.password.value() == expected.at("password").get<std::string>());  // not printed
    EXPECT_EQ(entry.url, expected.at("url"));
    EXPECT_EQ(entry.notes, expected.at("notes"));
    std::map<std::string, KdbxFieldValue> fields;
    std::set<std::string> protectedFields;
    for (const json& field : expected.at("custom_fields")) {
        fields[field.at("key")] = field.at("value").get<std::string>();
        if (field.at("protected").get<bool>()) protectedFields.insert(field.at("key"));
    }
    // Standard fields stored protected are remembered by name. A password stored in clear may be
    // remembered as well once a save has protected it by the database's memory protection.
    bool passwordProtected = false;
    for (const json& field : expected.at("protected_standard_fields")) {
        if (field == "Password")
            passwordProtected = true;
        else
            protectedFields.insert(field.get<std::string>());
    }
    std::set<std::string> remembered = entry.protectedCustomFields;
    EXPECT_TRUE(remembered.erase("Password") == 1 || !passwordProtected);
    EXPECT_TRUE(entry.customFields == fields);
    // A field stored protected is held masked, as the password is; the others in plain.
    for (const auto& [name, value] : entry.customFields) {
        EXPECT_EQ(value.isSecret(), protectedFields.contains(name)) << name;
    }
    EXPECT_EQ(remembered, protectedFields);
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
        EXPECT_EQ(testsupport::toHex(KdbxCrypto::sha256(binaries[ref].data)), attachment.at("sha256"));
    }

    if (isHistory) return;
    ASSERT_EQ(entry.historyItems.size(), expected.at("history_count"));
    for (std::size_t i = 0; i < entry.historyItems.size(); ++i) {
        EXPECT_TRUE(entry.historyItems[i].historyItems.empty());
        compareEntry(entry.historyItems[i], expected.at("history")[i], binaries, true);
    }
}

inline void compareGroup(const KdbxGroup& group, const json& expected,
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

// The whole content of a fixture as a reader or a load gave it: the modelled metadata, the
// wrappers with the unmodelled metadata and deleted objects, the tree, and the attachments the
// entries refer to.
inline void compareContent(const KdbxMeta& docMeta, const KdbxGroup& root,
                           const std::vector<KdbxInnerHeader::Binary>& binaries, const json& content) {
    const json& meta = content.at("meta");
    EXPECT_EQ(docMeta.generator, meta.at("generator"));
    EXPECT_EQ(docMeta.databaseName, meta.at("database_name"));
    EXPECT_EQ(docMeta.databaseDescription, meta.at("database_description"));
    EXPECT_EQ(docMeta.defaultUsername, meta.at("default_username"));
    EXPECT_EQ(docMeta.recycleBinEnabled, meta.at("recycle_bin_enabled"));
    EXPECT_EQ(docMeta.recycleBinUUID ? std::optional(uuidText(*docMeta.recycleBinUUID)) : std::nullopt,
              optionalText(meta.at("recycle_bin_uuid")));
    EXPECT_EQ(docMeta.historyMaxItems, meta.at("history_max_items"));
    EXPECT_EQ(docMeta.historyMaxSize, meta.at("history_max_size"));

    // Unmodelled metadata and the deleted objects travel in the wrappers.
    KdbxXMLNode::Ptr preservedMeta = kept(root.unknownXML, KdbxPreserve::meta);
    ASSERT_TRUE(preservedMeta);
    const KdbxXMLNode* icons = preservedMeta->child("CustomIcons");
    ASSERT_TRUE(icons);
    ASSERT_EQ(icons->children.size(), meta.at("custom_icons").size());
    for (std::size_t i = 0; i < icons->children.size(); ++i) {
        const json& icon = meta.at("custom_icons")[i];
        const Bytes png = *Base64::decodeStrict(icons->children[i]->child("Data")->text);
        EXPECT_EQ(png.size(), icon.at("size"));
        EXPECT_EQ(testsupport::toHex(KdbxCrypto::sha256(png)), icon.at("sha256"));
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
    KdbxXMLNode::Ptr preservedRoot = kept(root.unknownXML, KdbxPreserve::root);
    ASSERT_TRUE(preservedRoot);
    const auto deleted = preservedRoot->child("DeletedObjects")->childrenNamed("DeletedObject");
    ASSERT_EQ(deleted.size(), content.at("deleted_objects").size());
    for (std::size_t i = 0; i < deleted.size(); ++i) {
        const json& object = content.at("deleted_objects")[i];
        EXPECT_EQ(uuidText(*UUID::fromKdbxBytes(*Base64::decodeStrict(deleted[i]->child("UUID")->text))),
                  object.at("uuid"));
        EXPECT_EQ(dateText(*KdbxDate::parse(deleted[i]->child("DeletionTime")->text)), object.at("time"));
    }

    compareGroup(root, content.at("root"), binaries);
}

inline void compareDocument(const KdbxXML::Document& doc, const json& content) {
    compareContent(doc.meta, doc.root, doc.binaries, content);
}

inline json manifest() {
    std::ifstream in(testsupport::fixturePath("kdbx/manifest.json"));
    return json::parse(in);
}

// The credentials a fixture opens with, as the manifest gives them.
inline KdbxKey keyOf(const json& file) {
    const json& credentials = file.at("credentials");
    KdbxKey key;
    if (!credentials.at("password").is_null()) key.password = credentials.at("password").get<std::string>();
    if (!credentials.at("key_file").is_null()) {
        key.keyFileData = testsupport::readFile(
            testsupport::fixturePath("kdbx/" + credentials.at("key_file").get<std::string>()));
    }
    return key;
}

}  // namespace kdbxfixtures
