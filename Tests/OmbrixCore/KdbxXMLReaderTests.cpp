#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "AllocationProbe.h"
#include "KdbxErrorTesting.h"
#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxDate.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"

namespace {

using Binaries = std::vector<KdbxInnerHeader::Binary>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

KdbxXML::Document read(const std::string& xml, KdbxFormatVersion version = {4, 1},
                       const Binaries& binaries = {}) {
    NullStreamCipher stream;
    return KdbxXML::parse(bytesOf(xml), stream, version, binaries);
}

std::string document(const std::string& meta, const std::string& group, const std::string& rootRest = "") {
    return "<KeePassFile><Meta>" + meta + "</Meta><Root><Group>" + group + "</Group>" + rootRest +
           "</Root></KeePassFile>";
}

const std::string uuidBase64 = "AAECAwQFBgcICQoLDA0ODw==";
const UUID uuid = *UUID::fromString("00010203-0405-0607-0809-0A0B0C0D0E0F");

Timestamp now() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

// The first kept text of this element name.
KdbxXMLNode::Ptr kept(const CowList<std::string>& unknownXML, std::string_view name) {
    for (const std::string& text : unknownXML) {
        auto node = KdbxXMLNode::parse(std::string_view(text));
        if (node && node->name == name) return node;
    }
    return nullptr;
}

}  // namespace

TEST(KdbxXMLReader, MinimalDocumentTakesTheDefaults) {
    const Timestamp before = now();
    const auto doc = read("<KeePassFile><Root><Group/></Root></KeePassFile>");
    EXPECT_EQ(doc.meta, KdbxMeta("Ombrix Database", "", "", true, std::nullopt, 10, 6291456, "Ombrix"));
    EXPECT_FALSE(doc.headerHash);
    EXPECT_TRUE(doc.binaries.empty());
    const KdbxGroup& root = doc.root;
    EXPECT_TRUE(root.unknownXML.empty());
    EXPECT_EQ(root.iconID, 48);
    EXPECT_TRUE(root.isExpanded);
    EXPECT_FALSE(root.defaultAutoTypeSequence);
    EXPECT_GE(root.created, before);
    EXPECT_LE(root.modified, now());
    EXPECT_NE(root.id, read("<KeePassFile><Root><Group/></Root></KeePassFile>").root.id)
        << "random identifiers";

    const KdbxEntry entry = read(document("", "<Entry/>")).root.entries.at(0);
    EXPECT_EQ(entry.iconID, 0);
    EXPECT_TRUE(entry.password.isEmpty());
    EXPECT_TRUE(entry.autoTypeEnabled);
    EXPECT_FALSE(entry.expires);
    EXPECT_FALSE(entry.expiryTime);
    EXPECT_GE(entry.accessed, before);
    EXPECT_TRUE(entry.unknownXML.empty());
}

TEST(KdbxXMLReader, OutlineErrors) {
    std::string deep = "<KeePassFile><Root><Group>";
    for (int i = 0; i < 950; ++i) deep += "<Group>";
    for (int i = 0; i < 950; ++i) deep += "</Group>";
    deep += "</Group></Root></KeePassFile>";
    std::string deeper = "<KeePassFile><Root><Group>";
    for (int i = 0; i < 2000; ++i) deeper += "<Group>";
    for (int i = 0; i < 2000; ++i) deeper += "</Group>";
    deeper += "</Group></Root></KeePassFile>";
    const struct {
        std::string xml;
        KdbxError error;
    } cases[] = {
        {"", KdbxError::xmlParseFailure("belge çözümlenemedi")},
        {"<KeePassFile><Root><Group>", KdbxError::xmlParseFailure("belge çözümlenemedi")},
        {"<!DOCTYPE KeePassFile><KeePassFile><Root><Group/></Root></KeePassFile>",
         KdbxError::xmlParseFailure("belge çözümlenemedi")},
        {"<kp:KeePassFile xmlns:kp=\"x\"/>",
         KdbxError::xmlParseFailure("kök öğe <KeePassFile> değil (<kp:KeePassFile>)")},
        {"<KeePassFile><Meta/></KeePassFile>", KdbxError::xmlParseFailure("<Root> yok")},
        {"<KeePassFile><Root><DeletedObjects/></Root></KeePassFile>",
         KdbxError::xmlParseFailure("<Root> altında <Group> yok")},
        {"<KeePassFile><Meta/><Meta/><Root><Group/></Root></KeePassFile>",
         KdbxError::xmlParseFailure("birden çok <Meta> var")},
        {"<KeePassFile><Root><Group/></Root><Root><Group/></Root></KeePassFile>",
         KdbxError::xmlParseFailure("birden çok <Root> var")},
        {"<KeePassFile><Root><Group/></Root><Extra/></KeePassFile>",
         KdbxError::xmlParseFailure("<KeePassFile> altında tanınmayan öğe <Extra>")},
        // A file cannot pose as one of the reader's own wrappers.
        {document("", "<OmbrixPreservedBinaries><Binary Flags=\"0\">QUJD</Binary></OmbrixPreservedBinaries>"),
         KdbxError::xmlParseFailure("ayrılmış öğe adı <OmbrixPreservedBinaries>")},
        {document("", "<Entry><OmbrixPreservedMeta/></Entry>"),
         KdbxError::xmlParseFailure("ayrılmış öğe adı <OmbrixPreservedMeta>")},
        {deep, KdbxError::corruptedData("gruplar çok derin iç içe")},
        {deeper, KdbxError::xmlParseFailure("belge çözümlenemedi")},
        // The outline is judged before the content, and nothing before the document is whole.
        {"<KeePassFile><Root><Group><Entry><OmbrixPreservedMeta/></Entry></Group></Root><Extra/></"
         "KeePassFile>",
         KdbxError::xmlParseFailure("<KeePassFile> altında tanınmayan öğe <Extra>")},
        {"<KeePassFile><Root><Group><Entry><OmbrixPreservedMeta/></Entry></Group></Root>",
         KdbxError::xmlParseFailure("belge çözümlenemedi")},
        {"<KeePassFile><Root><Group><Entry><OmbrixPreservedMeta/></Entry></Group><Group><Entry>"
         "<OmbrixPreservedRoot/></Entry></Group></Root></KeePassFile>",
         KdbxError::xmlParseFailure("ayrılmış öğe adı <OmbrixPreservedMeta>")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(thrownKdbxError([&] { read(c.xml); }), c.error) << c.xml.substr(0, 80);
    }
}

TEST(KdbxXMLReader, MetadataValues) {
    const struct {
        std::string meta;
        KdbxMeta expected;
        const char* note;
    } cases[] = {
        {"<Generator> G </Generator><DatabaseName>\n Kasa "
         "\n</DatabaseName><DatabaseDescription>a</DatabaseDescription>"
         "<DefaultUserName>u</DefaultUserName><RecycleBinEnabled>False</RecycleBinEnabled><RecycleBinUUID>" +
             uuidBase64 +
             "</RecycleBinUUID><HistoryMaxItems>-1</HistoryMaxItems><HistoryMaxSize>+5</HistoryMaxSize>",
         KdbxMeta("Kasa", "a", "u", false, uuid, -1, 5, "G"), "every field"},
        {"<DatabaseName/><RecycleBinEnabled>evet</RecycleBinEnabled><HistoryMaxItems>on</HistoryMaxItems>"
         "<HistoryMaxSize>99999999999999999999</HistoryMaxSize>",
         KdbxMeta("", "", "", true, std::nullopt, 10, 6291456, "Ombrix"),
         "unreadable values take the defaults"},
        {"<RecycleBinUUID>" + uuidBase64 +
             "</RecycleBinUUID><RecycleBinUUID>AAAAAAAAAAAAAAAAAAAAAA==</RecycleBinUUID>"
             "<RecycleBinUUID>AAECAw==</RecycleBinUUID><RecycleBinUUID>AAEC "
             "AwQFBgcICQoLDA0ODw==</RecycleBinUUID>",
         KdbxMeta("Ombrix Database", "", "", true, uuid, 10, 6291456, "Ombrix"),
         "zero, short and non-base64 identifiers leave the earlier one"},
    };
    for (const auto& c : cases) EXPECT_EQ(read(document(c.meta, "")).meta, c.expected) << c.note;
}

TEST(KdbxXMLReader, UnmodelledContentGoesToTheWrappersInOrder) {
    const std::string xml = document(
        "<MemoryProtection><ProtectTitle>True</ProtectTitle></MemoryProtection><Generator>G</Generator>"
        "<CustomData><Item><Key>k</Key><Value Protected=\"True\">" +
            Base64::encode(bytesOf("gizli")) + "</Value></Item></CustomData><HeaderHash>AAEC</HeaderHash>",
        "<Entry><String><Key>Password</Key><Value Protected=\"True\">" + Base64::encode(bytesOf("parola")) +
            "</Value></String></Entry>",
        "<Group><Name>ikinci kök</Name></Group><DeletedObjects/>");
    const Binaries binaries = {{1, bytesOf("ek")}, {0, {}}};
    const auto doc = read(xml, {4, 1}, binaries);
    EXPECT_EQ(doc.headerHash, (Bytes{0x00, 0x01, 0x02}));
    EXPECT_EQ(doc.binaries, binaries);
    EXPECT_EQ(
        doc.root.unknownXML,
        (std::vector<std::string>{
            "<OmbrixPreservedMeta><MemoryProtection><ProtectTitle>True</ProtectTitle></MemoryProtection>"
            "<CustomData><Item><Key>k</Key><Value Protected=\"True\">gizli</Value></Item></CustomData>"
            "</OmbrixPreservedMeta>",
            "<OmbrixPreservedRoot><Group><Name>ikinci "
            "kök</Name></Group><DeletedObjects/></OmbrixPreservedRoot>",
            "<OmbrixPreservedBinaries><Binary Flags=\"1\">ZWs=</Binary><Binary Flags=\"0\"></Binary>"
            "</OmbrixPreservedBinaries>"}));
    EXPECT_EQ(doc.root.entries.at(0).password.value(), "parola");
}

TEST(KdbxXMLReader, ProtectedValueInsidePreservedMetaAdvancesTheStream) {
    const Bytes key(64, 7);
    auto encrypt = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, key);
    const std::string metaValue = Base64::encode(encrypt->process(bytesOf("meta-gizli")));
    const std::string password = Base64::encode(encrypt->process(bytesOf("parola")));
    const std::string xml =
        document("<CustomData><Item><Value Protected=\"True\">" + metaValue + "</Value></Item></CustomData>",
                 "<Entry><String><Key>Password</Key><Value Protected=\"True\">" + password +
                     "</Value></String></Entry>");
    auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, key);
    const auto doc = KdbxXML::parse(bytesOf(xml), *stream, {4, 1}, {});
    EXPECT_EQ(doc.root.unknownXML.at(0),
              "<OmbrixPreservedMeta><CustomData><Item><Value Protected=\"True\">meta-gizli</Value></Item>"
              "</CustomData></OmbrixPreservedMeta>");
    EXPECT_EQ(doc.root.entries.at(0).password.value(), "parola");
}

TEST(KdbxXMLReader, GroupValues) {
    const struct {
        std::string group;
        std::int64_t iconID;
        bool isExpanded;
        std::optional<std::string> sequence;
        const char* note;
    } cases[] = {
        {"<IconID>+7</IconID><IsExpanded>False</IsExpanded>", 7, false, std::nullopt, "plus sign"},
        {"<IconID> 007\n</IconID><IsExpanded>0</IsExpanded>", 7, false, std::nullopt, "blanks and zeros"},
        {"<IconID>-3</IconID><IsExpanded>no</IsExpanded>", -3, true, std::nullopt, "negative"},
        {"<IconID>7</IconID><IconID>7a</IconID><IsExpanded/>", 48, true, std::nullopt, "unreadable resets"},
        {"<IconID>0x10</IconID><DefaultAutoTypeSequence/>", 48, true, std::nullopt, "hexadecimal"},
        {"<IconID>9223372036854775808</IconID><DefaultAutoTypeSequence> </DefaultAutoTypeSequence>", 48, true,
         " ", "beyond 64 bits; a blank sequence stays"},
    };
    for (const auto& c : cases) {
        const KdbxGroup group = read(document("", c.group)).root;
        EXPECT_EQ(group.iconID, c.iconID) << c.note;
        EXPECT_EQ(group.isExpanded, c.isExpanded) << c.note;
        EXPECT_EQ(group.defaultAutoTypeSequence, c.sequence) << c.note;
    }
    const KdbxGroup named = read(document("", "<UUID>\n " + uuidBase64 + " \n</UUID><Name> ad </Name>")).root;
    EXPECT_EQ(named.id, uuid);
    EXPECT_EQ(named.name, " ad ");
    for (const std::string id :
         {"AAECAwQFBgcICQoLDA0O", "AAECAwQFBgcICQoLDA0ODxA=", "AAEC AwQFBgcICQoLDA0ODw==", "!"}) {
        EXPECT_NE(read(document("", "<UUID>" + id + "</UUID>")).root.id, uuid) << id;
    }
}

// A standard field stored protected, the password included, is remembered by name beside the
// protected custom fields.
TEST(KdbxXMLReader, ProtectedStandardFieldsAreRemembered) {
    auto field = [](const std::string& key, bool isProtected) {
        return "<String><Key>" + key + "</Key>" +
               (isProtected ? "<Value Protected=\"True\">" + Base64::encode(bytesOf("g")) + "</Value>"
                            : std::string("<Value>d</Value>")) +
               "</String>";
    };
    const KdbxEntry entry = read(document("", "<Entry>" + field("Title", true) + field("UserName", true) +
                                                  field("Password", true) + field("URL", false) +
                                                  field("Notes", true) + field("PIN", true) + "</Entry>"))
                                .root.entries.at(0);
    EXPECT_EQ(entry.protectedCustomFields,
              (std::set<std::string>{"Title", "UserName", "Password", "Notes", "PIN"}));
    EXPECT_EQ(entry.username, "g");
    EXPECT_EQ(entry.customFields, (std::map<std::string, KdbxFieldValue>{{"PIN", "g"}}));
    EXPECT_TRUE(entry.customFields.at("PIN").isSecret());
}

TEST(KdbxXMLReader, EntryFieldsAndStrings) {
    const std::string entryXML =
        "<Entry><UUID>" + uuidBase64 +
        "</UUID><IconID>5</IconID><Tags>a; b,,c ;;a\n</Tags>"
        "<String><Key>Title</Key><Value> Başlık </Value></String>"
        "<String><Key>title</Key><Value>küçük</Value></String>"
        "<String><Value>anahtarsız</Value></String>"
        "<String><Key>URL</Key></String>"
        "<String><Key>PIN</Key><Value Protected=\"True\">" +
        Base64::encode(bytesOf("1234")) +
        "</Value></String>"
        "<String><Key>PIN</Key><Value>5678</Value></String>"
        "<String><Key>Password</Key><Value Protected=\"True\">" +
        Base64::encode(bytesOf("p")) +
        "</Value></String>"
        "<AutoType><Enabled>no</Enabled><DefaultSequence>{PASSWORD}</DefaultSequence>"
        "<Association><Window>W1</Window></Association><Association><KeystrokeSequence>{TAB}</"
        "KeystrokeSequence>"
        "</Association></AutoType><AutoType><Association><Window>W3</Window><KeystrokeSequence/></"
        "Association>"
        "</AutoType><Binary><Key>ek</Key><Value Ref=\"0\"/></Binary><Custom a=\"1\">x</Custom></Entry>";
    const KdbxEntry entry = read(document("", entryXML)).root.entries.at(0);
    EXPECT_EQ(entry.id, uuid);
    EXPECT_EQ(entry.iconID, 5);
    EXPECT_EQ(entry.tags, (std::vector<std::string>{"a", "b", "c", "a\n"}));
    EXPECT_EQ(entry.title, " Başlık ");
    EXPECT_EQ(entry.url, "");
    EXPECT_EQ(entry.password.value(), "p");
    EXPECT_EQ(entry.customFields, (std::map<std::string, KdbxFieldValue>{
                                      {"title", "küçük"}, {"", "anahtarsız"}, {"PIN", "5678"}}));
    EXPECT_EQ(entry.protectedCustomFields, (std::set<std::string>{"PIN", "Password"}));
    EXPECT_TRUE(entry.autoTypeEnabled);
    EXPECT_EQ(entry.autoTypeSequence, "{PASSWORD}");
    EXPECT_EQ(entry.autoTypeWindowAssociations,
              (std::vector<AutoTypeAssociation>{{"W1", std::nullopt}, {"", "{TAB}"}, {"W3", std::nullopt}}));
    EXPECT_EQ(entry.unknownXML, (std::vector<std::string>{"<Binary><Key>ek</Key><Value Ref=\"0\"/></Binary>",
                                                          "<Custom a=\"1\">x</Custom>"}));
    EXPECT_FALSE(read(document("", "<Entry><AutoType><Enabled>False</Enabled></AutoType></Entry>"))
                     .root.entries.at(0)
                     .autoTypeEnabled);
    EXPECT_TRUE(KdbxXML::splitTags(";,;").empty());
    EXPECT_TRUE(KdbxXML::splitTags("").empty());
}

TEST(KdbxXMLReader, TimesAndWhatTheModelHasNoRoomFor) {
    const std::string times =
        "<Times><CreationTime>2024-01-01T00:00:00Z</CreationTime><LastModificationTime>2024-01-02T00:00:00Z"
        "</LastModificationTime><Expires>True</Expires><ExpiryTime>kaçık</ExpiryTime><UsageCount>5</"
        "UsageCount>"
        "<LocationChanged>2024-01-03T00:00:00Z</LocationChanged></Times>";
    const auto doc = read(document("", times + "<Entry>" + times +
                                           "<AutoType><DataTransferObfuscation>1"
                                           "</DataTransferObfuscation></AutoType></Entry>"));
    const Timestamp jan2 = *KdbxDate::parse("2024-01-02T00:00:00Z");
    const KdbxEntry& entry = doc.root.entries.at(0);
    EXPECT_EQ(entry.created, *KdbxDate::parse("2024-01-01T00:00:00Z"));
    EXPECT_EQ(entry.modified, jan2);
    EXPECT_EQ(entry.accessed, jan2) << "no access time: the modification time";
    EXPECT_TRUE(entry.expires);
    EXPECT_FALSE(entry.expiryTime) << "an unreadable expiry time";
    // Usage counts and the like are kept, to be written back in their element.
    EXPECT_EQ(entry.unknownXML,
              (std::vector<std::string>{
                  "<Times><UsageCount>5</UsageCount><LocationChanged>2024-01-03T00:00:00Z</LocationChanged></"
                  "Times>",
                  "<AutoType><DataTransferObfuscation>1</DataTransferObfuscation></AutoType>"}));
    EXPECT_EQ(doc.root.modified, jan2);
    EXPECT_EQ(doc.root.unknownXML,
              (std::vector<std::string>{
                  "<Times><Expires>True</Expires><ExpiryTime>kaçık</ExpiryTime><UsageCount>5"
                  "</UsageCount><LocationChanged>2024-01-03T00:00:00Z</LocationChanged></Times>"}));
}

TEST(KdbxXMLReader, HistoryDoesNotNest) {
    const auto doc = read(document(
        "",
        "<Entry><History><Entry><String><Key>Title</Key><Value>v1</Value></String><History><Entry/></History>"
        "</Entry><Other/><Entry><String><Key>Title</Key><Value>v2</Value></String></Entry></History></"
        "Entry>"));
    const KdbxEntry& entry = doc.root.entries.at(0);
    ASSERT_EQ(entry.historyItems.size(), 2u);
    EXPECT_EQ(entry.historyItems[0].title, "v1");
    EXPECT_TRUE(entry.historyItems[0].historyItems.empty());
    EXPECT_EQ(entry.historyItems[1].title, "v2");
}

// A version 3 attachment pool becomes the attachment list of a version 4 inner header: items
// decompressed, a protected item's bytes kept as bytes with flags 1, and every reference (history
// included) renumbered from the pool's IDs to positions.
TEST(KdbxXMLReader, Version3PoolBecomesTheAttachments) {
    const Bytes first = {0x00, 0xFF, 0xC3, 0x28, 0x0D, 0x0A};
    const Bytes second = bytesOf("ikinci ek dosya, sıkıştırılmış");
    const Bytes key(32, 9);
    auto encrypt = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::salsa20, key);
    const std::string meta = "<Binaries><Binary ID=\"7\" Protected=\"True\">" +
                             Base64::encode(encrypt->process(first)) +
                             "</Binary><Binary ID=\"3\" Compressed=\"True\">\n" +
                             Base64::encode(Gzip::compress(second)) + "\n</Binary></Binaries>";
    const std::string refs =
        "<Binary><Key>a</Key><Value Ref=\"3\"/></Binary><Binary><Key>b</Key><Value Ref=\"7\"/>"
        "</Binary><Binary><Key>c</Key><Value Ref=\"9\"/></Binary>";
    const std::string xml =
        document(meta, "<Entry>" + refs + "<History><Entry>" + refs + "</Entry></History></Entry>");
    auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::salsa20, key);
    const auto doc = KdbxXML::parse(bytesOf(xml), *stream, {3, 1}, {});
    EXPECT_EQ(doc.binaries, (Binaries{{1, first}, {0, second}}));
    const std::vector<std::string> renumbered = {"<Binary><Key>a</Key><Value Ref=\"1\"/></Binary>",
                                                 "<Binary><Key>b</Key><Value Ref=\"0\"/></Binary>",
                                                 "<Binary><Key>c</Key><Value Ref=\"2\"/></Binary>"};
    EXPECT_EQ(doc.root.entries.at(0).unknownXML, renumbered);
    EXPECT_EQ(doc.root.entries.at(0).historyItems.at(0).unknownXML, renumbered);
    // Root before Meta: the references still follow the pool.
    const std::string rootFirst = "<KeePassFile><Root><Group><Entry>" + refs +
                                  "</Entry></Group></Root><Meta>" + meta + "</Meta></KeePassFile>";
    auto again = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::salsa20, key);
    const auto reordered = KdbxXML::parse(bytesOf(rootFirst), *again, {3, 1}, {});
    EXPECT_EQ(reordered.binaries, doc.binaries);
    EXPECT_EQ(reordered.root.entries.at(0).unknownXML, renumbered);
    // The pool is not kept twice; the attachments travel in the binaries wrapper.
    ASSERT_EQ(doc.root.unknownXML.size(), 1u);
    EXPECT_TRUE(doc.root.unknownXML[0].starts_with("<OmbrixPreservedBinaries><Binary Flags=\"1\">"));

    const std::string broken =
        document("<Binaries><Binary ID=\"0\" Compressed=\"True\">QUJD</Binary></Binaries>", "");
    EXPECT_EQ(thrownKdbxError([&] {
                  read(broken, {3, 1});
              }),
              KdbxError::corruptedData("sıkıştırılmış ek dosya açılamadı"));
    // In a version 4 file a pool means nothing and is kept as it is.
    EXPECT_TRUE(kept(read(broken).root.unknownXML, KdbxPreserve::meta)->child("Binaries"));
}

// A document is read as the parser delivers it, entry by entry and, inside an entry, element by
// element: one entry of a hostile shape asks for about what the model keeps of it, never for a
// tree of the whole entry beside it. The figures: the most held while reading, against the size
// of the XML, beside what the finished model holds.
TEST(KdbxXMLReader, OneHugeEntryCostsAboutWhatTheModelKeeps) {
    const auto entry = [](const std::string& body) {
        return "<KeePassFile><Root><Group><Entry><UUID>AAAAAAAAAAAAAAAAAAAAAQ==</UUID>" + body +
               "</Entry></Group></Root></KeePassFile>";
    };
    const auto repeat = [](int count, const auto& piece) {
        std::string out;
        for (int i = 0; i < count; ++i) out += piece(i);
        return out;
    };
    const struct {
        const char* note;
        std::string xml;
        // The most the load may hold beside the model, in times the XML.
        double besideModel;
        // The most the whole load may hold, in times the XML.
        double total;
    } cases[] = {
        {"100,000 distinct unknown Times children",
         entry("<Times>" +
               repeat(100000,
                      [](int i) { return "<U" + std::to_string(i) + ">0</U" + std::to_string(i) + ">"; }) +
               "</Times>"),
         2, 4},
        {"10,000 history items",
         entry(
             "<History>" +
             repeat(
                 10000,
                 [](int i) {
                     const std::string n = std::to_string(i);
                     return "<Entry><UUID>AAAAAAAAAAAAAAAAAAAAAQ==</"
                            "UUID><Times><CreationTime>2024-01-01T00:00:00Z"
                            "</CreationTime><LastModificationTime>2024-01-02T00:00:00Z</LastModificationTime>"
                            "</Times><String><Key>Title</Key><Value>Başlık " +
                            n + "</Value></String><String><Key>UserName</Key><Value>kullanıcı " + n +
                            "</Value></String><String><Key>URL</Key><Value>https://örnek.example/" + n +
                            "</Value></String><String><Key>Notes</Key><Value>Not " + n +
                            "</Value></String></Entry>";
                 }) +
             "</History>"),
         2, 4},
        {"200,000 custom fields",
         entry(repeat(
             200000,
             [](int i) { return "<String><Key>k" + std::to_string(i) + "</Key><Value>v</Value></String>"; })),
         2, 4},
        // Each kept element takes a place of its own in the model's list (the equal texts are
        // held once): the model alone is several times the XML of such tiny elements, and its
        // list grows by doubling.
        {"200,000 empty unknown elements", entry(repeat(200000, [](int) { return std::string("<X/>"); })), 3,
         10},
    };
    for (const auto& c : cases) {
        NullStreamCipher stream;
        std::size_t peak = 0, model = 0;
        {
            allocationprobe::PeakMeter meter;
            const KdbxXML::Document doc =
                KdbxXML::parse(ByteView(reinterpret_cast<const std::uint8_t*>(c.xml.data()), c.xml.size()),
                               stream, {4, 1}, {});
            peak = meter.peak();
            model = meter.held();
            ASSERT_EQ(doc.root.entries.size(), 1u) << c.note;
        }
        const double xml = static_cast<double>(c.xml.size());
        EXPECT_LT(static_cast<double>(peak) - static_cast<double>(model), c.besideModel * xml)
            << c.note << ": peak " << peak << ", model " << model << ", XML " << c.xml.size();
        EXPECT_LT(static_cast<double>(peak), c.total * xml)
            << c.note << ": peak " << peak << ", model " << model << ", XML " << c.xml.size();
    }
}
