#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxDate.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"

namespace {

using Binaries = std::vector<KdbxInnerHeader::Binary>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

const Timestamp jan1 = *KdbxDate::parse("2024-01-01T00:00:00Z");
const Timestamp jan2 = *KdbxDate::parse("2024-01-02T00:00:00Z");

KdbxEntry makeEntry(std::string title, std::string password) {
    KdbxEntry entry;
    entry.id = *UUID::fromString("00010203-0405-0607-0809-0A0B0C0D0E0F");
    entry.title = std::move(title);
    entry.password = SecureString(password);
    entry.created = entry.modified = entry.accessed = jan1;
    return entry;
}

KdbxDatabase makeDatabase(std::vector<KdbxEntry> entries) {
    KdbxGroup root;
    root.id = *UUID::fromString("10111213-1415-1617-1819-1A1B1C1D1E1F");
    root.name = "Kök";
    root.iconID = 48;
    root.created = jan1;
    root.modified = jan2;
    root.entries = std::move(entries);
    KdbxMeta meta("Kasa", "", "", true, std::nullopt, 10, 6291456, "Ombrix");
    return KdbxDatabase(meta, root, KdbxCipher::chacha20, KdfSettings::recommended(), true, {4, 1});
}

// With the pass-through stream a protected value is written as the base64 of its plaintext.
std::string write(const KdbxDatabase& database, std::uint16_t major = 4,
                  const std::optional<Bytes>& headerHash = std::nullopt) {
    NullStreamCipher stream;
    const Bytes xml = KdbxXML::serialize(database, stream, major, headerHash);
    return std::string(xml.begin(), xml.end());
}

KdbxXML::Document read(const std::string& xml, const Binaries& binaries = {}) {
    NullStreamCipher stream;
    return KdbxXML::parse(bytesOf(xml), stream, {4, 1}, binaries);
}

KdbxDatabase asDatabase(const KdbxXML::Document& doc) {
    return KdbxDatabase(doc.meta, doc.root, KdbxCipher::chacha20, KdfSettings::recommended(), true, {4, 1});
}

std::string b64(std::string_view text) {
    return Base64::encode(bytesOf(text));
}

}  // namespace

TEST(KdbxXMLWriter, NewDatabaseInTheFixedForm) {
    KdbxEntry entry = makeEntry("Başlık", "");
    entry.tags = {"x", "y"};
    entry.customFields = {{"b", "2"}, {"A", "1"}, {"a", "\x01"}};
    entry.protectedCustomFields = {"b"};
    entry.autoTypeWindowAssociations = {{"Pencere", std::nullopt}};
    KdbxEntry older = makeEntry("eski", "p");
    entry.historyItems = {older};
    const std::string xml = write(makeDatabase({entry}));
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?><KeePassFile><Meta><Generator>Ombrix"
        "</Generator><DatabaseName>Kasa</DatabaseName><DatabaseDescription/><DefaultUserName/"
        "><MemoryProtection>"
        "<ProtectTitle>False</ProtectTitle><ProtectUserName>False</ProtectUserName><ProtectPassword>True"
        "</ProtectPassword><ProtectURL>False</ProtectURL><ProtectNotes>False</ProtectNotes></"
        "MemoryProtection>"
        "<RecycleBinEnabled>True</RecycleBinEnabled><RecycleBinUUID>AAAAAAAAAAAAAAAAAAAAAA==</RecycleBinUUID>"
        "<HistoryMaxItems>10</HistoryMaxItems><HistoryMaxSize>6291456</HistoryMaxSize></Meta><Root><Group>"
        "<UUID>EBESExQVFhcYGRobHB0eHw==</UUID><Name>Kök</Name><Notes/><IconID>48</"
        "IconID><Times><CreationTime>"
        "gPcj3Q4AAAA=</CreationTime><LastModificationTime>AEkl3Q4AAAA=</LastModificationTime><LastAccessTime>"
        "AEkl3Q4AAAA=</LastAccessTime><ExpiryTime>AEkl3Q4AAAA=</ExpiryTime><Expires>False</"
        "Expires><UsageCount>0"
        "</UsageCount><LocationChanged>gPcj3Q4AAAA=</LocationChanged></Times><IsExpanded>True</IsExpanded>"
        "<DefaultAutoTypeSequence/>"
        "<Entry><UUID>AAECAwQFBgcICQoLDA0ODw==</UUID><IconID>0</IconID><ForegroundColor/><BackgroundColor/>"
        "<OverrideURL/><Tags>x;y</Tags><Times><CreationTime>gPcj3Q4AAAA=</CreationTime><LastModificationTime>"
        "gPcj3Q4AAAA=</LastModificationTime><LastAccessTime>gPcj3Q4AAAA=</LastAccessTime><ExpiryTime>"
        "gPcj3Q4AAAA=</ExpiryTime><Expires>False</Expires><UsageCount>0</UsageCount><LocationChanged>"
        "gPcj3Q4AAAA=</LocationChanged></Times>"
        "<String><Key>Title</Key><Value>Başlık</Value></String><String><Key>UserName</Key><Value/></String>"
        "<String><Key>Password</Key><Value Protected=\"True\"></Value></String><String><Key>URL</Key><Value/>"
        "</String><String><Key>Notes</Key><Value/></String><String><Key>A</Key><Value>1</Value></String>"
        "<String><Key>a</Key><Value></Value></String><String><Key>b</Key><Value "
        "Protected=\"True\">Mg==</Value>"
        "</String><AutoType><Enabled>True</Enabled><DataTransferObfuscation>0</DataTransferObfuscation>"
        "<DefaultSequence/><Association><Window>Pencere</Window><KeystrokeSequence/></Association></AutoType>"
        "<History><Entry><UUID>AAECAwQFBgcICQoLDA0ODw==</UUID><IconID>0</IconID><ForegroundColor/>"
        "<BackgroundColor/><OverrideURL/><Tags/><Times><CreationTime>gPcj3Q4AAAA=</CreationTime>"
        "<LastModificationTime>gPcj3Q4AAAA=</LastModificationTime><LastAccessTime>gPcj3Q4AAAA=</"
        "LastAccessTime>"
        "<ExpiryTime>gPcj3Q4AAAA=</ExpiryTime><Expires>False</Expires><UsageCount>0</UsageCount>"
        "<LocationChanged>gPcj3Q4AAAA=</LocationChanged></Times><String><Key>Title</Key><Value>eski</Value>"
        "</String><String><Key>UserName</Key><Value/></String><String><Key>Password</Key><Value Protected="
        "\"True\">cA==</Value></String><String><Key>URL</Key><Value/></String><String><Key>Notes</Key><Value/"
        ">"
        "</String><AutoType><Enabled>True</Enabled><DataTransferObfuscation>0</DataTransferObfuscation>"
        "<DefaultSequence/></AutoType></Entry></History></Entry></Group></Root></KeePassFile>";
    EXPECT_EQ(xml, expected);
}

TEST(KdbxXMLWriter, MemoryProtectionFromThePreservedMeta) {
    const struct {
        std::string memoryProtection;
        bool title;
        bool password;
    } cases[] = {
        {"<MemoryProtection><ProtectTitle>True</ProtectTitle></MemoryProtection>", true, true},
        {"<MemoryProtection><ProtectPassword>False</ProtectPassword></MemoryProtection>", false, false},
        {"<MemoryProtection><ProtectPassword>evet</ProtectPassword></MemoryProtection>", false, true},
        {"<MemoryProtection><ProtectTitle>1</ProtectTitle></MemoryProtection><MemoryProtection/>", true,
         true},
    };
    for (const auto& c : cases) {
        const auto doc = read("<KeePassFile><Meta>" + c.memoryProtection +
                              "</Meta><Root><Group><Entry><String><Key>Title</Key><Value>T</Value></String>"
                              "<String><Key>Password</Key><Value>P</Value></String></Entry></Group></Root>"
                              "</KeePassFile>");
        const std::string xml = write(asDatabase(doc));
        EXPECT_NE(xml.find(c.memoryProtection), std::string::npos) << c.memoryProtection;
        EXPECT_NE(xml.find(c.title ? "<Key>Title</Key><Value Protected=\"True\">VA==</Value>"
                                   : "<Key>Title</Key><Value>T</Value>"),
                  std::string::npos)
            << c.memoryProtection;
        EXPECT_NE(xml.find(c.password ? "<Key>Password</Key><Value Protected=\"True\">UA==</Value>"
                                      : "<Key>Password</Key><Value>P</Value>"),
                  std::string::npos)
            << c.memoryProtection;
    }
}

// A standard field read as protected stays protected although the database's flag is off; the
// others follow the flags.
TEST(KdbxXMLWriter, StandardFieldsStoredProtectedStayProtected) {
    KdbxEntry entry = makeEntry("T", "P");
    entry.username = "U";
    entry.url = "L";
    entry.notes = "N";
    entry.protectedCustomFields = {"UserName", "Notes"};
    const std::string xml = write(makeDatabase({entry}));
    const struct {
        const char* expected;
        const char* note;
    } cases[] = {
        {"<Key>Title</Key><Value>T</Value>", "flag off, not stored protected"},
        {"<Key>UserName</Key><Value Protected=\"True\">VQ==</Value>", "stored protected"},
        {"<Key>Password</Key><Value Protected=\"True\">UA==</Value>", "flag on"},
        {"<Key>URL</Key><Value>L</Value>", "flag off, not stored protected"},
        {"<Key>Notes</Key><Value Protected=\"True\">Tg==</Value>", "stored protected"},
    };
    for (const auto& c : cases)
        EXPECT_NE(xml.find(c.expected), std::string::npos) << c.note << ": " << c.expected;
    EXPECT_EQ(xml.find("<Key>UserName</Key><Value>"), std::string::npos);
    const KdbxEntry again = read(xml).root.entries.at(0);
    EXPECT_EQ(again.protectedCustomFields, (std::set<std::string>{"UserName", "Password", "Notes"}));
    EXPECT_TRUE(again.customFields.empty());
}

// Load, save, load: a password stored protected keeps its mark although the file's memory
// protection leaves passwords in clear; one stored in clear follows the flag.
TEST(KdbxXMLWriter, PasswordStoredProtectedStaysProtectedAcrossSaves) {
    const struct {
        const char* protectPassword;
        bool storedProtected;
        bool savedProtected;
    } cases[] = {
        {"False", true, true},
        {"False", false, false},
        {"True", false, true},
        {"True", true, true},
    };
    for (const auto& c : cases) {
        const std::string note = std::string("ProtectPassword ") + c.protectPassword +
                                 (c.storedProtected ? ", stored protected" : ", stored in clear");
        const std::string value = c.storedProtected ? "<Value Protected=\"True\">" + b64("P") + "</Value>"
                                                    : std::string("<Value>P</Value>");
        const std::string file = std::string("<KeePassFile><Meta><MemoryProtection><ProtectPassword>") +
                                 c.protectPassword +
                                 "</ProtectPassword></MemoryProtection></Meta><Root><Group><Entry>"
                                 "<String><Key>Password</Key>" +
                                 value + "</String></Entry></Group></Root></KeePassFile>";
        const std::string saved = write(asDatabase(read(file)));
        EXPECT_NE(saved.find(c.savedProtected ? "<Key>Password</Key><Value Protected=\"True\">UA==</Value>"
                                              : "<Key>Password</Key><Value>P</Value>"),
                  std::string::npos)
            << note;
        const std::string savedAgain = write(asDatabase(read(saved)));
        EXPECT_EQ(savedAgain, saved) << note;
        EXPECT_EQ(read(savedAgain).root.entries.at(0).password.value(), "P") << note;
    }
}

// Kept XML moved deeper (a group moved into another, say) must not make a file the reader
// refuses: KeePassFile, Root and the root group stand around the root group's kept elements.
TEST(KdbxXMLWriter, RefusesElementsDeeperThanTheReaderAccepts) {
    auto nested = [](int levels) {
        std::string xml;
        for (int i = 1; i < levels; ++i) xml += "<K>";
        xml += "<K/>";
        for (int i = 1; i < levels; ++i) xml += "</K>";
        return xml;
    };
    KdbxDatabase fits = makeDatabase({});
    fits.root.unknownXML = {nested(static_cast<int>(KdbxXMLNode::maxDepth) - 3)};
    const std::string xml = write(fits);
    const std::vector<std::string> again = read(xml).root.unknownXML.toVector();
    EXPECT_TRUE(std::find(again.begin(), again.end(), fits.root.unknownXML[0]) != again.end());
    KdbxDatabase deeper = makeDatabase({});
    deeper.root.unknownXML = {nested(static_cast<int>(KdbxXMLNode::maxDepth) - 2)};
    EXPECT_EQ(thrownKdbxError([&] { write(deeper); }),
              KdbxError::corruptedData("XML öğeleri çok derin iç içe"));
}

TEST(KdbxXMLWriter, HeaderHashAndDateFormFollowTheVersion) {
    const KdbxDatabase database = makeDatabase({});
    const Bytes hash = {1, 2, 3};
    const std::string v3 = write(database, 3, hash);
    EXPECT_NE(v3.find("<Generator>Ombrix</Generator><HeaderHash>AQID</HeaderHash><DatabaseName>"),
              std::string::npos);
    EXPECT_NE(v3.find("<CreationTime>2024-01-01T00:00:00Z</CreationTime>"), std::string::npos);
    const std::string v4 = write(database, 4, hash);
    EXPECT_EQ(v4.find("HeaderHash"), std::string::npos);
    EXPECT_NE(v4.find("<CreationTime>gPcj3Q4AAAA=</CreationTime>"), std::string::npos);
}

// Protected values are encrypted in the order they are written, which is the order the reader
// decrypts them in; an empty one takes no keystream.
TEST(KdbxXMLWriter, ProtectedValuesRoundTripThroughARealStream) {
    KdbxEntry first = makeEntry("bir", "");
    KdbxEntry second = makeEntry("iki", "ikinci parola\r\n🔐");
    second.customFields = {{"PIN", "1234"}};
    second.protectedCustomFields = {"PIN"};
    const KdbxDatabase database = makeDatabase({first, second});
    const Bytes key(64, 3);
    auto encrypt = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, key);
    const Bytes xml = KdbxXML::serialize(database, *encrypt, 4);
    auto decrypt = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, key);
    const auto doc = KdbxXML::parse(xml, *decrypt, {4, 1}, {});
    EXPECT_TRUE(doc.root.entries[0].password.isEmpty());
    EXPECT_EQ(doc.root.entries[1].password.value(), "ikinci parola\r\n🔐");
    EXPECT_EQ(doc.root.entries[1].customFields.at("PIN"), "1234");
}

TEST(KdbxXMLWriter, CarriageReturnsAndForbiddenCharactersInPlainText) {
    KdbxEntry entry = makeEntry("a\rb\r\nc\x01", "");
    entry.notes = "satır 1\r\nsatır 2";
    const std::string xml = write(makeDatabase({entry}));
    EXPECT_NE(xml.find("<Value>a&#xD;b&#xD;\nc</Value>"), std::string::npos);
    const KdbxEntry back = read(xml).root.entries.at(0);
    EXPECT_EQ(back.title, "a\rb\r\nc");
    EXPECT_EQ(back.notes, "satır 1\r\nsatır 2");
}

TEST(KdbxXMLWriter, KeptElementsAreWrittenBack) {
    KdbxEntry entry = makeEntry("t", "");
    entry.unknownXML = {"<Custom c=\"3\" a=\"1\" b=\"2\">metin<Child/></Custom>", "<Broken>",
                        "<Gizli Protected=\"True\" z=\"1\">sır<Alt/></Gizli>",
                        "<OmbrixPreservedRoot><Group/></OmbrixPreservedRoot>"};
    const std::string xml = write(makeDatabase({entry}));
    EXPECT_NE(
        xml.find(
            "</AutoType><Custom a=\"1\" b=\"2\" c=\"3\"><Child/></Custom><Gizli z=\"1\" Protected=\"True\">"
            "c8Sxcg==</Gizli></Entry>"),
        std::string::npos);
    EXPECT_EQ(xml.find("Broken"), std::string::npos);
    EXPECT_EQ(xml.find("<Group/>"), std::string::npos);
}

// Kept texts in the form the reader writes are copied without a parser; a text in any other form
// is written exactly as reading it with the XML parser gives it.
TEST(KdbxXMLWriter, KeptTextsInAnyFormAreWrittenAsTheParserReadsThem) {
    const struct {
        const char* note;
        std::string kept;
        std::optional<std::string> written;
    } cases[] = {
        {"the reader's own form", "<a x=\"1&amp;&quot;&#xA;\"><b>t &lt; u&#xD;</b><c/></a>",
         "<a x=\"1&amp;&quot;&#xA;\"><b>t &lt; u&#xD;</b><c/></a>"},
        {"a raw carriage return", "<a>x\ry</a>", "<a>x\ny</a>"},
        {"a raw tab in an attribute", "<a t=\"x\ty\"/>", "<a t=\"x y\"/>"},
        {"a raw greater-than sign", "<a>x>y</a>", "<a>x&gt;y</a>"},
        {"other references", "<a>&quot;&#65;&#x42;</a>", "<a>\"AB</a>"},
        {"a declaration", "<?xml version=\"1.0\"?><a/>", "<a/>"},
        {"a comment and a processing instruction", "<a><!--c--><?p x?><b/></a>", "<a><b/></a>"},
        {"attributes out of order", "<a b=\"2\" a=\"1\"/>", "<a a=\"1\" b=\"2\"/>"},
        {"a Protected mark that is not true", "<a Protected=\"false\">t</a>", "<a>t</a>"},
        {"CDATA", "<a><![CDATA[<x>]]></a>", "<a>&lt;x&gt;</a>"},
        {"a name outside ASCII", "<\xC3\xA4 \xC3\xB6=\"1\">\xC3\xBC</\xC3\xA4>",
         "<\xC3\xA4 \xC3\xB6=\"1\">\xC3\xBC</\xC3\xA4>"},
        {"an empty element with both tags", "<a></a>", "<a/>"},
        {"text beside children", "<a>x<b/>y</a>", "<a><b/></a>"},
        {"a leading blank", " <a/>", "<a/>"},
        {"a kept date in the other version's form", "<LocationChanged>2000-01-01T00:00:00Z</LocationChanged>",
         "<LocationChanged>gDr/rw4AAAA=</LocationChanged>"},
        {"a character XML forbids", "<a>\x01</a>", std::nullopt},
        {"two elements", "<a/><b/>", std::nullopt},
        {"an unclosed element", "<a><b></a>", std::nullopt},
        {"ill-formed UTF-8", "<a>\xC3</a>", std::nullopt},
    };
    for (const auto& c : cases) {
        KdbxEntry entry = makeEntry("t", "");
        entry.unknownXML = {c.kept};
        const std::string xml = write(makeDatabase({entry}));
        EXPECT_NE(xml.find("</AutoType>" + c.written.value_or("") + "</Entry>"), std::string::npos) << c.note;
    }
}

// What the model has no field for comes back where it was, once: colours and override URLs
// with their content, usage counts and other Times children, the obfuscation setting, a second
// group under Root. Writing what was read gives the same XML.
TEST(KdbxXMLWriter, LoadAndSaveIsAFixedPoint) {
    const std::string source =
        "<KeePassFile><Meta><Generator>G</Generator><MemoryProtection><ProtectNotes>True</ProtectNotes>"
        "</MemoryProtection><Color>#FF0000</Color></Meta><Root><DeletedObjects/><Group><UUID>"
        "EBESExQVFhcYGRobHB0eHw==</UUID><Times><LastAccessTime>2024-05-01T00:00:00Z</"
        "LastAccessTime><UsageCount>9"
        "</UsageCount><Custom>x</Custom></Times><Entry><UUID>AAECAwQFBgcICQoLDA0ODw==</UUID><ForegroundColor>"
        "#00FF00</ForegroundColor><Times><UsageCount>5</UsageCount><LocationChanged>2024-05-02T00:00:00Z"
        "</LocationChanged></Times><String><Key>Notes</Key><Value Protected=\"True\">" +
        b64("not") +
        "</Value>"
        "</String><AutoType><DataTransferObfuscation>1</DataTransferObfuscation><Extra/></"
        "AutoType><Binary><Key>"
        "ek</Key><Value Ref=\"0\"/></Binary></Entry></Group><Group><Name>ikinci</Name></Group></Root>"
        "</KeePassFile>";
    const Binaries binaries = {{1, bytesOf("ek dosya")}};
    const auto doc = read(source, binaries);
    const std::string first = write(asDatabase(doc));
    EXPECT_EQ(KdbxXML::preservedBinaries(doc.root), binaries);
    for (const char* part :
         {"<HistoryMaxSize>6291456</HistoryMaxSize><Color>#FF0000</Color></Meta>", "<Times><CreationTime>",
          "<LastAccessTime>AH3D3Q4AAAA=</LastAccessTime>", "<UsageCount>9</UsageCount>",
          "<Custom>x</Custom></Times>",
          "<ForegroundColor>#00FF00</ForegroundColor><BackgroundColor/><OverrideURL/>",
          "<UsageCount>5</UsageCount><LocationChanged>gM7E3Q4AAAA=</LocationChanged></Times>",
          "<Key>Notes</Key><Value Protected=\"True\">bm90</Value>",
          "<DataTransferObfuscation>1</DataTransferObfuscation><DefaultSequence/><Extra/></AutoType>",
          "<Binary><Key>ek</Key><Value "
          "Ref=\"0\"/></Binary></Entry></Group><DeletedObjects/><Group><Name>ikinci"}) {
        EXPECT_NE(first.find(part), std::string::npos) << part;
    }
    const auto again = read(first, KdbxXML::preservedBinaries(doc.root));
    EXPECT_EQ(write(asDatabase(again)), first);
    EXPECT_EQ(again.binaries, binaries);
}

TEST(KdbxXMLWriter, PreservedWrappersThatNoLongerParseFailTheWrite) {
    KdbxDatabase database = makeDatabase({});
    database.root.unknownXML = {"<OmbrixPreservedMeta><Color>"};
    EXPECT_EQ(thrownKdbxError([&] { write(database); }),
              KdbxError::xmlParseFailure("korunan XML okunamadı (<OmbrixPreservedMeta>)"));
    // A similar name is no wrapper: it is an ordinary kept element.
    database.root.unknownXML = {"<OmbrixPreservedMetaX/>"};
    EXPECT_NE(write(database).find("<OmbrixPreservedMetaX/>"), std::string::npos);

    database.root.unknownXML = {"<OmbrixPreservedBinaries><Binary>"};
    EXPECT_EQ(thrownKdbxError([&] { KdbxXML::preservedBinaries(database.root); }),
              KdbxError::xmlParseFailure("korunan XML okunamadı (<OmbrixPreservedBinaries>)"));
    database.root.unknownXML = {
        "<OmbrixPreservedBinaries><Binary Flags=\"0\">QUJ</Binary></OmbrixPreservedBinaries>"};
    EXPECT_EQ(thrownKdbxError([&] { KdbxXML::preservedBinaries(database.root); }),
              KdbxError::corruptedData("korunan ek dosya base64 değil"));
    // A protected attachment of a kept pool is written as its bytes: text that is no base64
    // fails the write rather than being written as something else.
    database.root.unknownXML = {
        "<OmbrixPreservedMeta><Binaries><Binary "
        "Protected=\"True\">QUJ</Binary></Binaries></OmbrixPreservedMeta>"};
    EXPECT_EQ(thrownKdbxError([&] { write(database); }),
              KdbxError::corruptedData("korunan ek dosya base64 değil"));
}

TEST(KdbxXMLWriter, PreservedBinaryFlags) {
    KdbxGroup root;
    EXPECT_TRUE(KdbxXML::preservedBinaries(root).empty());
    root.unknownXML = {
        "<OmbrixPreservedBinaries><Binary>QQ==</Binary><Binary Flags=\"300\"/><Binary Flags=\"x\"/>"
        "<Binary Flags=\"+0\"/><Other/><Binary Flags=\"255\">Qg==</Binary></OmbrixPreservedBinaries>"};
    EXPECT_EQ(KdbxXML::preservedBinaries(root),
              (Binaries{{1, bytesOf("A")}, {1, {}}, {1, {}}, {0, {}}, {255, bytesOf("B")}}));
}

TEST(KdbxXMLWriter, GroupsNestedTooDeepAreNotWritten) {
    KdbxGroup group;
    for (std::size_t i = 0; i <= KdbxXML::maxGroupDepth; ++i) {
        KdbxGroup parent;
        parent.groups = {group};
        group = parent;
    }
    KdbxDatabase database = makeDatabase({});
    database.root = group;
    EXPECT_EQ(thrownKdbxError([&] { write(database); }),
              KdbxError::corruptedData("gruplar çok derin iç içe"));
}
