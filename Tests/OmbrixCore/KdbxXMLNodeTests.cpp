#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"

namespace {

const Bytes streamKey(64, 0x5A);

std::shared_ptr<InnerStreamCipher> newStream() {
    return KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, streamKey);
}

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// The base64 texts of the values encrypted one after the other with a fresh stream.
std::vector<std::string> encrypted(const std::vector<std::string>& plain) {
    auto stream = newStream();
    std::vector<std::string> out;
    for (const std::string& p : plain) out.push_back(Base64::encode(stream->process(bytesOf(p))));
    return out;
}

class ThrowingStream final : public InnerStreamCipher {
  public:
    Bytes process(ByteView) override { throw std::runtime_error("stream failed"); }
};

}  // namespace

TEST(KdbxXMLNode, EmptyElementAndSelfClosingForm) {
    auto node = KdbxXMLNode::parse(std::string_view("<A></A>"));
    ASSERT_TRUE(node);
    EXPECT_EQ(node->name, "A");
    EXPECT_TRUE(node->text.empty());
    EXPECT_TRUE(node->attributes.empty());
    EXPECT_TRUE(node->children.empty());
    EXPECT_EQ(node->rawXMLString(), "<A/>");
}

TEST(KdbxXMLNode, ProtectedAttributeValues) {
    const struct {
        const char* attribute;
        bool isProtected;
    } cases[] = {{"True", true},   {"true", true}, {"TrUe", true},
                 {"False", false}, {"yes", false}, {"", false}};
    for (const auto& c : cases) {
        const std::string xml = std::string("<V Protected=\"") + c.attribute + "\">QUJD</V>";
        auto node = KdbxXMLNode::parse(std::string_view(xml));
        ASSERT_TRUE(node) << c.attribute;
        EXPECT_EQ(node->isProtected, c.isProtected) << c.attribute;
        EXPECT_TRUE(node->attributes.empty()) << c.attribute;
        // Without a stream the text stays as read.
        EXPECT_EQ(node->text, "QUJD") << c.attribute;
        EXPECT_EQ(node->rawXMLString(), c.isProtected ? "<V Protected=\"True\">QUJD</V>" : "<V>QUJD</V>")
            << c.attribute;
    }
}

TEST(KdbxXMLNode, ProtectedValuesDecryptInDocumentOrder) {
    const auto values = encrypted({"birinci", "", "ikinci\r\nsatır 🔐"});
    const std::string xml = "<Root><Meta><V Protected=\"True\">" + values[0] +
                            "</V></Meta><E><V Protected=\"True\"></V><V Protected=\"True\">\n  " + values[2] +
                            "\n</V><V>düz</V></E></Root>";
    auto stream = newStream();
    auto root = KdbxXMLNode::parse(std::string_view(xml), stream.get());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->child("Meta")->child("V")->text, "birinci");
    const auto values2 = root->child("E")->childrenNamed("V");
    ASSERT_EQ(values2.size(), 3u);
    // The empty value consumes no keystream, so the next one still decrypts.
    EXPECT_EQ(values2[0]->text, "");
    EXPECT_TRUE(values2[0]->isProtected);
    EXPECT_EQ(values2[1]->text, "ikinci\r\nsatır 🔐");
    EXPECT_FALSE(values2[2]->isProtected);

    // Serialised and read back without a stream: the plaintext, carriage return included,
    // with the protected mark that makes the writer encrypt it again.
    auto reread = KdbxXMLNode::parse(std::string_view(values2[1]->rawXMLString()));
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->text, "ikinci\r\nsatır 🔐");
    EXPECT_TRUE(reread->isProtected);
    EXPECT_TRUE(reread->attributes.empty());
}

// An undecodable protected value would make every later value decrypt with the wrong keystream;
// the document is refused instead of losing them on the next save.
TEST(KdbxXMLNode, UndecodableProtectedValueIsCorruptData) {
    const std::string xml = "<R><V Protected=\"True\">QUJ</V><V Protected=\"True\">QUJD</V></R>";
    auto stream = newStream();
    EXPECT_EQ(thrownKdbxError([&] { KdbxXMLNode::parse(std::string_view(xml), stream.get()); }),
              KdbxError::corruptedData("korumalı değer base64 değil"));
    // Without a stream nothing is decoded.
    EXPECT_TRUE(KdbxXMLNode::parse(std::string_view(xml)));
}

TEST(KdbxXMLNode, ProtectedAttachmentOfAPoolKeepsItsBytes) {
    const Bytes attachment = {0x00, 0xFF, 0xC3, 0x28, 0x80, 0x0A, 0x0D};
    auto encrypt = newStream();
    const std::string xml = "<Meta><Binaries><Binary ID=\"0\" Protected=\"True\">" +
                            Base64::encode(encrypt->process(attachment)) + "</Binary></Binaries></Meta>";
    auto stream = newStream();
    auto root = KdbxXMLNode::parse(std::string_view(xml), stream.get());
    ASSERT_TRUE(root);
    const KdbxXMLNode* binary = root->child("Binaries")->child("Binary");
    EXPECT_TRUE(binary->isProtected);
    EXPECT_EQ(Base64::decodeStrict(binary->text), attachment);
}

TEST(KdbxXMLNode, TextPiecesAndSerialisation) {
    auto node = KdbxXMLNode::parse(std::string_view("<A>x &amp; y<![CDATA[<z>]]> &#128272;</A>"));
    ASSERT_TRUE(node);
    EXPECT_EQ(node->text, "x & y<z> 🔐");
    EXPECT_EQ(node->rawXMLString(), "<A>x &amp; y&lt;z&gt; 🔐</A>");

    auto mixed = KdbxXMLNode::parse(std::string_view("<A> metin <!-- yorum --><B>b</B><?pi x?> son </A>"));
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->text, " metin  son ");
    EXPECT_EQ(mixed->rawXMLString(), "<A><B>b</B></A>");
    EXPECT_EQ(mixed->child("B")->trimmedText(), "b");
    EXPECT_EQ(mixed->child("C"), nullptr);
    EXPECT_TRUE(mixed->childrenNamed("C").empty());

    auto attributes = KdbxXMLNode::parse(std::string_view("<A c=\"3\" a='\"1&#10;&#13;&#9;' b=\"2\"/>"));
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->rawXMLString(), "<A a=\"&quot;1&#xA;&#xD;&#x9;\" b=\"2\" c=\"3\"/>");
    auto again = KdbxXMLNode::parse(std::string_view(attributes->rawXMLString()));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->attributes.at("a"), "\"1\n\r\t");

    auto padded = KdbxXMLNode::parse(std::string_view("<A>\xE3\x80\x80 \t\r\n değer \n</A>"));
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->trimmedText(), "değer");
}

namespace {

struct BrokenDocument {
    std::string xml;
    const char* note;
};

std::vector<BrokenDocument> brokenDocuments() {
    std::string deep;
    for (std::size_t i = 0; i <= KdbxXMLNode::maxDepth; ++i) deep += "<a>";
    for (std::size_t i = 0; i <= KdbxXMLNode::maxDepth; ++i) deep += "</a>";
    return {
        {"", "empty"},
        {"<A><B></B>", "truncated"},
        {"<A></B>", "mismatched tags"},
        {"<A/><B/>", "two document elements"},
        {"<A>&nope;</A>", "undeclared entity"},
        {"<!DOCTYPE A><A/>", "document type declaration"},
        {"<!DOCTYPE A [<!ENTITY x \"y\">]><A>&x;</A>", "internal entity"},
        {"<!DOCTYPE A [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><A>&c;&c;&c;&c;&c;&c;&c;&c;</A>",
         "entity expansion"},
        {"<!DOCTYPE A SYSTEM \"file:///etc/passwd\"><A/>", "external DTD"},
        {"<!DOCTYPE A [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><A>&x;</A>", "external entity"},
        {deep, "nested deeper than the bound"},
        {std::string("<A>\0</A>", 8), "NUL character"},
    };
}

}  // namespace

TEST(KdbxXMLNode, HostileOrBrokenDocumentsGiveNothing) {
    for (const BrokenDocument& c : brokenDocuments()) {
        EXPECT_EQ(KdbxXMLNode::parse(std::string_view(c.xml)), nullptr) << c.note;
    }
    // At the bound itself the document is read.
    std::string atBound;
    for (std::size_t i = 0; i < KdbxXMLNode::maxDepth; ++i) atBound += "<a>";
    for (std::size_t i = 0; i < KdbxXMLNode::maxDepth; ++i) atBound += "</a>";
    EXPECT_NE(KdbxXMLNode::parse(std::string_view(atBound)), nullptr);
}

TEST(KdbxXMLNode, ExceptionsInsideTheParserComeOutAfterIt) {
    ThrowingStream stream;
    EXPECT_THROW(KdbxXMLNode::parse(std::string_view("<A Protected=\"True\">QUJD</A>"), &stream),
                 std::runtime_error);
}

// One reader parses fragment after fragment: a broken or hostile one gives nothing and leaves the
// next one read in full, and the trees it gave earlier stay intact while it goes on.
TEST(KdbxXMLNode, FragmentReaderReadsDocumentAfterDocument) {
    KdbxXMLNode::FragmentReader reader;
    const KdbxXMLNode::Ptr kept = reader.parse("<K b=\"2\" a=\"1\"><L>metin</L><M/></K>");
    ASSERT_NE(kept, nullptr);
    for (const BrokenDocument& c : brokenDocuments()) {
        EXPECT_EQ(reader.parse(c.xml), nullptr) << c.note;
        const KdbxXMLNode::Ptr next = reader.parse("<C x=\"1\">t<D>u</D></C>");
        ASSERT_NE(next, nullptr) << "after " << c.note;
        EXPECT_EQ(next->rawXMLString(), "<C x=\"1\"><D>u</D></C>") << "after " << c.note;
        EXPECT_EQ(next->text, "t") << "after " << c.note;
    }
    EXPECT_EQ(kept->rawXMLString(), "<K a=\"1\" b=\"2\"><L>metin</L><M/></K>");
}

namespace {

// Opens the document element and each "G", and writes down what it hears, subtrees as XML.
class RecordingHandler : public KdbxXMLNode::Handler {
  public:
    bool open(std::string_view name) override {
        log += "open " + std::string(name) + "\n";
        return name == "Doc" || name == "G";
    }
    void child(KdbxXMLNode::Ptr node) override {
        if (throwAt != 0 && ++children == throwAt) throw std::runtime_error("handler failed");
        log += "child " + node->rawXMLString() + " text " + std::to_string(node->text.size()) + "\n";
    }
    void close() override { log += "close\n"; }

    std::string log;
    std::size_t throwAt = 0;
    std::size_t children = 0;
};

// Serves `text` in parts of `size` bytes and counts what it served.
struct PartSource {
    PartSource(std::string_view t, std::size_t s) : text(t), size(s) {}

    KdbxXMLNode::Source source() {
        return [this]() -> ByteView {
            const std::size_t n = std::min(size, text.size() - offset);
            const ByteView part(reinterpret_cast<const std::uint8_t*>(text.data()) + offset, n);
            offset += n;
            return part;
        };
    }

    std::string_view text;
    std::size_t size;
    std::size_t offset = 0;
};

// Far more events and a longer text than one hand-over between the threads of a parse carries.
std::string largeDocument(const std::vector<std::string>& protectedValues) {
    std::string xml = "<Doc v=\"1\"><Meta><Name>kasa</Name></Meta><G>";
    for (int i = 0; i < 20000; ++i) {
        xml += "<E n=\"" + std::to_string(i) + "\" k=\"&lt;&amp;\"><K>Notes</K><V>satır " +
               std::to_string(i) + " &amp; <![CDATA[<x>]]></V></E>";
        if (i % 5000 == 0) {
            xml += "<P Protected=\"True\">" + protectedValues[static_cast<std::size_t>(i / 5000)] + "</P>";
        }
    }
    xml += "<Long>" + std::string(700 * 1024, 'a') + "&#128272;" + std::string(300 * 1024, 'b') + "</Long>";
    xml += "<G><E/></G></G><Tail/></Doc>";
    return xml;
}

}  // namespace

// Read part by part, a document gives the handler exactly what it gives when read whole, whatever
// the parts' size: the same subtrees, texts and attributes, protected values decrypted in order.
TEST(KdbxXMLNode, PartByPartParseHearsWhatTheWholeParseHears) {
    const std::vector<std::string> values = encrypted({"bir", "iki", "üç", "dört"});
    const std::string xml = largeDocument(values);

    auto wholeStream = newStream();
    RecordingHandler whole;
    ASSERT_TRUE(KdbxXMLNode::parse(bytesOf(xml), wholeStream.get(), whole));
    EXPECT_NE(whole.log.find("child <P Protected=\"True\">dört</P>"), std::string::npos);
    EXPECT_NE(whole.log.find("text " + std::to_string(1000 * 1024 + 4)), std::string::npos);

    for (const std::size_t size : {std::size_t{7}, std::size_t{4096}, xml.size()}) {
        // In pieces of the default size (this document is one), and in many small ones.
        for (const std::size_t pieceSize : {KdbxXMLNode::defaultPieceSize, std::size_t{64 * 1024}}) {
            PartSource parts(xml, size);
            auto stream = newStream();
            RecordingHandler handler;
            ASSERT_TRUE(KdbxXMLNode::parse(parts.source(), stream.get(), handler, pieceSize)) << size;
            EXPECT_EQ(handler.log, whole.log) << size << " " << pieceSize;
        }
    }
}

TEST(KdbxXMLNode, PartByPartParseRefusesWhatTheWholeParseRefuses) {
    for (const BrokenDocument& c : brokenDocuments()) {
        for (const std::size_t pieceSize : {KdbxXMLNode::defaultPieceSize, std::size_t{1}}) {
            PartSource parts(c.xml, 3);
            RecordingHandler handler;
            EXPECT_FALSE(KdbxXMLNode::parse(parts.source(), nullptr, handler, pieceSize)) << c.note;
        }
    }
}

// A document read in pieces as small as can be (each begins at the first element start it may)
// gives what it gives read whole, however its markup holds what looks like an element start:
// comments, CDATA sections, processing instructions, attribute values. What the whole parse
// refuses, the pieces refuse, wherever the fault stands.
TEST(KdbxXMLNode, PiecesGiveWhatTheWholeDocumentGives) {
    const std::string entries = "<E a=\"x>y\" b='<E>'><K>k</K><V>v &lt; w</V></E><E/><E><V>t</V></E>";
    const struct {
        const char* note;
        std::string xml;
    } cases[] = {
        {"plain", "<Doc><G>" + entries + entries + "</G></Doc>"},
        {"declaration in UTF-8",
         "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?><Doc><G>" + entries + "</G></Doc>"},
        {"declaration in another encoding",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Doc><G>" + entries + "<V>\xE7</V></G></Doc>"},
        {"byte-order mark", "\xEF\xBB\xBF<Doc><G>" + entries + "</G></Doc>"},
        {"comments holding element starts",
         "<Doc><!-- <E> --><G><!--<E>-->" + entries + "<!-- a - b <G> --></G></Doc>"},
        {"CDATA holding element starts",
         "<Doc><G><V><![CDATA[<E><G>]]]]><![CDATA[>]]></V>" + entries + "</G></Doc>"},
        {"processing instructions", "<?pi <E>?><Doc><?x <G> ?>" + entries + "<G><?y?></G></Doc>"},
        {"text and references between elements", "<Doc>a &amp; b<G>c" + entries + "d&#x3C;E&gt;</G>e</Doc>"},
        {"deep nesting", "<Doc>" + std::string(100, 'x').replace(0, 100, "") +
                             [] {
                                 std::string deep;
                                 for (int i = 0; i < 80; ++i)
                                     deep += "<N" + std::to_string(i) + " i=\"" + std::to_string(i) + "\">";
                                 deep += "<E/>";
                                 for (int i = 79; i >= 0; --i) deep += "</N" + std::to_string(i) + ">";
                                 return deep;
                             }() +
                             "</Doc>"},
        {"broken after the first piece", "<Doc><G>" + entries + "<E></F></G></Doc>"},
        {"unclosed comment", "<Doc><G>" + entries + "<!-- <E></G></Doc>"},
        {"element after the document", "<Doc><G>" + entries + "</G></Doc><E/>"},
        {"document type declaration", "<!DOCTYPE Doc><Doc><G>" + entries + "</G></Doc>"},
        {"undeclared entity late", "<Doc><G>" + entries + "<V>&x;</V></G></Doc>"},
    };
    for (const auto& c : cases) {
        RecordingHandler whole;
        const bool wholeParsed = KdbxXMLNode::parse(bytesOf(c.xml), nullptr, whole);
        for (const std::size_t size : {std::size_t{1}, std::size_t{5}, c.xml.size()}) {
            PartSource parts(c.xml, size);
            RecordingHandler pieces;
            EXPECT_EQ(KdbxXMLNode::parse(parts.source(), nullptr, pieces, 1), wholeParsed)
                << c.note << " " << size;
            if (wholeParsed) {
                EXPECT_EQ(pieces.log, whole.log) << c.note << " " << size;
            }
        }
    }
}

// The first failure in document order decides, as when everything ran on one thread: the
// handler's error before a later malformation, a source's error as it comes.
TEST(KdbxXMLNode, PartByPartParseReportsTheFirstFailure) {
    const std::string xml = largeDocument(encrypted({"bir", "iki", "üç", "dört"})) + "<broken";

    RecordingHandler handler;
    handler.throwAt = 2000;
    PartSource parts(xml, 4096);
    // In pieces small enough that the parts on their way between the threads hold a fraction of
    // the document.
    EXPECT_THROW(KdbxXMLNode::parse(parts.source(), nullptr, handler, 64 * 1024), std::runtime_error);
    // The parse stopped soon after, without reading the rest of the document.
    EXPECT_LT(parts.offset, xml.size());

    RecordingHandler reader;
    PartSource whole(xml, 4096);
    EXPECT_FALSE(KdbxXMLNode::parse(whole.source(), nullptr, reader));

    struct SourceFailed {};
    const std::string pieces[] = {"<A>", "<B/>"};
    std::size_t served = 0;
    const KdbxXMLNode::Source failing = [&]() -> ByteView {
        if (served == 2) throw SourceFailed{};
        const std::string& piece = pieces[served++];
        return ByteView(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
    };
    RecordingHandler unread;
    EXPECT_THROW(KdbxXMLNode::parse(failing, nullptr, unread), SourceFailed);

    // A protected value that does not decode, read part by part.
    auto stream = newStream();
    const std::string bad = "<Doc><G><V Protected=\"True\">QUJ</V></G></Doc>";
    PartSource badParts(bad, 5);
    RecordingHandler badHandler;
    EXPECT_EQ(thrownKdbxError([&] { KdbxXMLNode::parse(badParts.source(), stream.get(), badHandler); }),
              KdbxError::corruptedData("korumalı değer base64 değil"));
}
