#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

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
