#include "OmbrixCore/Kdbx/KdbxCompositeKey.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>

#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/Base64.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

// Only the first bytes decide whether a file is worth parsing as XML.
constexpr std::size_t sniffLength = 256;

bool isStrictUTF8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const UnicodeText::Scalar s = UnicodeText::scalarAt(text, i);
        if (!s.wellFormed) return false;
        i += s.length;
    }
    return true;
}

std::string withoutWhiteSpace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const UnicodeText::Scalar s = UnicodeText::scalarAt(text, i);
        if (!UnicodeText::isWhiteSpace(s.value)) out.append(text, i, s.length);
        i += s.length;
    }
    return out;
}

std::string upperHex(ByteView bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
    }
    return out;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// A text that held key material, wiped however the scope that holds it ends.
struct WipedText {
    std::string text;

    ~WipedText() { secureWipe(text.data(), text.size()); }
};

void wipeTexts(KdbxXMLNode& node) {
    secureWipe(node.text.data(), node.text.size());
    for (const KdbxXMLNode::Ptr& child : node.children) wipeTexts(*child);
}

// A parsed key file holds its key as element text: wiped however reading it ends.
struct WipedTree {
    KdbxXMLNode::Ptr root;

    ~WipedTree() {
        if (root) wipeTexts(*root);
    }
};

// Decoded key data as a secret buffer, so that a refused file leaves none of it behind.
std::optional<SecretBytes> secret(std::optional<Bytes> decoded) {
    if (!decoded) return std::nullopt;
    return SecretBytes(std::move(*decoded));
}

// Whether the document element of `file` is a KeyFile behind a document type declaration. The
// tree parser refuses every such declaration (entities could expand without bound), so the file
// would otherwise count by its hash and the user would only learn that the key is wrong. Parsing
// stops at the document element: no content is read, and expat bounds what its attributes expand.
bool isKeyFileWithDoctype(ByteView file) {
    struct Probe {
        XML_Parser parser;
        bool doctype = false;
        bool keyFile = false;
    };
    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                              &XML_ParserFree);
    if (!parser) return false;
    Probe probe{parser.get()};
    XML_SetUserData(parser.get(), &probe);
    XML_SetStartDoctypeDeclHandler(parser.get(),
                                   [](void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
                                       static_cast<Probe*>(data)->doctype = true;
                                   });
    XML_SetStartElementHandler(parser.get(), [](void* data, const XML_Char* name, const XML_Char**) {
        Probe& p = *static_cast<Probe*>(data);
        p.keyFile = p.doctype && std::string_view(name) == "KeyFile";
        XML_StopParser(p.parser, XML_FALSE);
    });
    // Expat reads at most INT_MAX bytes at once; the document element of a key file stands well
    // before that.
    const int length = static_cast<int>(std::min<std::size_t>(file.size(), INT_MAX));
    XML_Parse(parser.get(), reinterpret_cast<const char*>(file.data()), length, XML_TRUE);
    return probe.keyFile;
}

// The key of an XML key file, or nothing when the file is not one (it then counts by the other
// rules). Once the document is a KeyFile, a fault in it is an error.
std::optional<KdbxKeys::KeyFileResult> parseXMLKeyFile(ByteView file) {
    const std::string_view head(reinterpret_cast<const char*>(file.data()),
                                std::min(file.size(), sniffLength));
    if (!isStrictUTF8(head)) return std::nullopt;
    if (head.find("<KeyFile") == std::string_view::npos && head.find("<?xml") == std::string_view::npos) {
        return std::nullopt;
    }
    const WipedTree tree{KdbxXMLNode::parse(file)};
    const KdbxXMLNode::Ptr& root = tree.root;
    if (!root && isKeyFileWithDoctype(file))
        throw KdbxError::corruptedData("anahtar dosyası DOCTYPE bildirimi içeriyor");
    if (!root || root->name != "KeyFile") return std::nullopt;

    std::string version = "1.00";
    if (const KdbxXMLNode* meta = root->child("Meta")) {
        if (const KdbxXMLNode* v = meta->child("Version")) version = v->trimmedText();
    }
    const KdbxXMLNode* key = root->child("Key");
    const KdbxXMLNode* data = key != nullptr ? key->child("Data") : nullptr;
    if (data == nullptr) throw KdbxError::corruptedData("anahtar dosyasında <Key><Data> yok");
    const WipedText trimmed{data->trimmedText()};
    const WipedText dataText{withoutWhiteSpace(trimmed.text)};

    if (version.starts_with("2")) {
        const std::optional<SecretBytes> decoded = secret(KdbxKeys::hexDecode(dataText.text));
        if (!decoded || decoded->empty())
            throw KdbxError::corruptedData("v2 anahtar dosyası onaltılık değil");
        if (auto hash = data->attributes.find("Hash"); hash != data->attributes.end()) {
            const SecretBytes digest(KdbxCrypto::sha256(decoded->view()));
            const std::string expected = upperHex(digest.view().first(4));
            if (!equalIgnoringCase(withoutWhiteSpace(hash->second), expected)) {
                throw KdbxError::corruptedData("anahtar dosyası bütünlük kontrolünden geçemedi");
            }
        }
        return KdbxKeys::KeyFileResult{Bytes(decoded->view().begin(), decoded->view().end()),
                                       KdbxKeys::KeyFileKind::xmlV2};
    }
    const std::optional<SecretBytes> decoded = secret(Base64::decodeStrict(dataText.text));
    if (!decoded) throw KdbxError::corruptedData("v1 anahtar dosyası base64 değil");
    if (decoded->size() == 32)
        return KdbxKeys::KeyFileResult{Bytes(decoded->view().begin(), decoded->view().end()),
                                       KdbxKeys::KeyFileKind::xmlV1};
    return KdbxKeys::KeyFileResult{KdbxCrypto::sha256(decoded->view()), KdbxKeys::KeyFileKind::xmlV1};
}

}  // namespace

namespace KdbxKeys {

Bytes compositeKey(const KdbxKey& key) {
    // Every intermediate is a secret buffer, wiped also when a key file is refused midway.
    SecretBytes parts;
    if (key.password) parts.append(SecretBytes(KdbxCrypto::sha256(key.password->view())).view());
    if (key.keyFileData) parts.append(SecretBytes(keyFileKey(key.keyFileData->view()).key).view());
    if (parts.empty()) throw KdbxError::invalidCredentials();
    return KdbxCrypto::sha256(parts.view());
}

KeyFileResult keyFileKey(ByteView file) {
    if (auto xml = parseXMLKeyFile(file)) return std::move(*xml);
    if (file.size() == 32) return {Bytes(file.begin(), file.end()), KeyFileKind::rawBinary32};
    if (file.size() == 64) {
        // Read in place: a byte outside ASCII is no hexadecimal digit either way.
        const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
        if (auto decoded = hexDecode(text); decoded && decoded->size() == 32) {
            return {std::move(*decoded), KeyFileKind::hex64};
        }
    }
    return {KdbxCrypto::sha256(file), KeyFileKind::hashed};
}

std::optional<Bytes> hexDecode(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    Bytes out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = nibble(text[i]);
        const int low = nibble(text[i + 1]);
        if (high < 0 || low < 0) {
            // What was decoded so far is part of a key file.
            secureWipe(out);
            return std::nullopt;
        }
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return out;
}

}  // namespace KdbxKeys
