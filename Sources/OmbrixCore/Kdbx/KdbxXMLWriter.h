#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/Models.h"

class InnerStreamCipher;

namespace KdbxXML {

// The XML payload of the database (UTF-8, no indentation), with the protected values encrypted
// by `stream` in the order they are written, which is the order a reader decrypts them. Dates
// take the form of `major` (saving always writes 4), kept dates included; the header hash is
// written only for major 3 and below. What the reader preserved (unmodelled children, the Meta
// and Root wrappers) is written back where it belongs, a protected Binary of a kept Binaries as
// the bytes it holds; the binaries wrapper is not written (see preservedBinaries).
// Throws KdbxError::xmlParseFailure when a preserved wrapper no longer parses (writing without it
// would lose its content) and KdbxError::corruptedData when groups nest deeper than
// maxGroupDepth or kept elements deeper than KdbxXMLNode::maxDepth (the file could not be read
// back), or when such a protected Binary no longer holds base64.
Bytes serialize(const KdbxDatabase& database, InnerStreamCipher& stream, std::uint16_t major,
                const std::optional<Bytes>& headerHash = std::nullopt);

// The same payload (major 4, no header hash) handed to `sink` in consecutive parts of about
// `partSize` bytes while it is written, so that it never stands whole in memory. What the sink
// throws ends the write and passes out.
void serialize(const KdbxDatabase& database, InnerStreamCipher& stream,
               const std::function<void(std::string_view)>& sink, std::size_t partSize);

// The attachments kept in the root group's binaries wrapper, in order, for the inner header of
// the file being saved. Empty without a wrapper. Throws KdbxError when the wrapper no longer
// parses or an attachment's data no longer decodes: never an attachment silently emptied.
std::vector<KdbxInnerHeader::Binary> preservedBinaries(const KdbxGroup& root);
// The same attachments handed to `fn` one at a time as they are kept (flags, base64 text, valid
// for the call), so that a save decodes each as it writes it. Throws KdbxError when the wrapper
// no longer parses; the text is checked by whoever decodes it.
void forEachPreservedBinaryText(const KdbxGroup& root,
                                const std::function<void(std::uint8_t, std::string_view)>& fn);

}  // namespace KdbxXML
