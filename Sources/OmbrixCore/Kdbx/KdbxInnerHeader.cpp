#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"

#include <limits>

#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"

namespace {

void appendU32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendField(Bytes& out, KdbxInnerHeader::FieldID id, ByteView first, ByteView rest = {}) {
    const std::size_t size = first.size() + rest.size();
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        throw KdbxError::corruptedData("iç başlık alanı 32 bitlik uzunluk sınırını aşıyor");
    }
    out.push_back(static_cast<std::uint8_t>(id));
    appendU32(out, static_cast<std::uint32_t>(size));
    out.insert(out.end(), first.begin(), first.end());
    out.insert(out.end(), rest.begin(), rest.end());
}

}  // namespace

std::optional<KdbxInnerHeader::FieldID> KdbxInnerHeader::fieldID(std::uint8_t raw) {
    if (raw > static_cast<std::uint8_t>(FieldID::binary)) return std::nullopt;
    return static_cast<FieldID>(raw);
}

KdbxInnerHeader KdbxInnerHeader::parse(KdbxReader& reader) {
    return read(reader);
}

Bytes KdbxInnerHeader::serialize() const {
    Bytes out;
    Bytes id;
    appendU32(id, streamID);
    appendField(out, FieldID::innerRandomStreamID, id);
    appendField(out, FieldID::innerRandomStreamKey, streamKey);
    for (const Binary& binary : binaries) {
        const std::uint8_t flags[] = {binary.flags};
        appendField(out, FieldID::binary, flags, binary.data);
    }
    appendField(out, FieldID::end, {});
    return out;
}
