#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxXMLNode.h"
#include "OmbrixCore/Kdbx/Models.h"

class InnerStreamCipher;

// What the model has no field for travels inside it as XML text: the unmodelled children of
// groups and entries in their unknownXML lists, and, at the end of the root group's list, up to
// three wrapper elements that the reader appends and the writer takes back out.
namespace KdbxPreserve {

inline constexpr std::string_view meta = "OmbrixPreservedMeta";          // unmodelled Meta children
inline constexpr std::string_view root = "OmbrixPreservedRoot";          // Root children after the root group
inline constexpr std::string_view binaries = "OmbrixPreservedBinaries";  // the attachments

// The three wrapper names. A file whose groups or entries hold an element of one of these names
// is refused, so that a wrapper can only ever be one the reader itself appended.
const std::set<std::string, std::less<>>& all();

}  // namespace KdbxPreserve

namespace KdbxXML {

// Groups nest at most this deep, in what is read and in what is written (the readers and the
// writer recurse once per level).
inline constexpr std::size_t maxGroupDepth = 900;

// The result of reading an XML payload.
struct Document {
    KdbxMeta meta;
    // Its unknownXML ends with the wrappers (KdbxPreserve).
    KdbxGroup root;
    // Version 3's Meta/HeaderHash, decoded; the loader compares it with the outer header.
    std::optional<Bytes> headerHash;
    // The attachments the entries refer to by position: the inner header's (version 4), or the
    // attachment pool of a version 3 Meta, decompressed, with flags 1 for a protected item and
    // each entry's references renumbered to positions. The binaries wrapper holds the same list,
    // so that saving (preservedBinaries) writes it to the version 4 inner header.
    std::vector<KdbxInnerHeader::Binary> binaries;
};

// Reads the decrypted, decompressed XML payload. `stream` is the document's inner random stream
// at its start; `binaries` the inner header's attachments (empty for version 3). Throws
// KdbxError: xmlParseFailure for a document that does not parse or lacks KeePassFile, Root or the
// root Group, or that holds content this reader could not write back (a second Meta or Root,
// another child of KeePassFile, a reserved wrapper name); corruptedData for an undecodable
// protected value or attachment, or groups nested deeper than maxGroupDepth.
Document parse(ByteView data, InnerStreamCipher& stream, KdbxFormatVersion version,
               const std::vector<KdbxInnerHeader::Binary>& binaries);
// The same, over a payload read part by part: `next` is called on the XML parser's own thread
// (see KdbxXMLNode::Source).
Document parse(const KdbxXMLNode::Source& next, InnerStreamCipher& stream, KdbxFormatVersion version,
               const std::vector<KdbxInnerHeader::Binary>& binaries);

// Appends the binaries wrapper holding `binaries` to the kept texts of `root` (a document read
// without them), as parse does with the binaries it is given; each attachment's bytes are let go
// as soon as they are encoded. Nothing is appended for an empty list.
void keepBinaries(KdbxGroup& root, std::vector<KdbxInnerHeader::Binary>&& binaries);

// Tags split at ";" and ",", each trimmed of blanks and tabs; empty pieces dropped.
std::vector<std::string> splitTags(std::string_view text);

}  // namespace KdbxXML
