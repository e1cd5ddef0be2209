#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

class KdbxReader;

// The inner header at the start of a decrypted KDBX 4 payload: the inner random stream's
// identifier and key, and the attachments.
struct KdbxInnerHeader {
    enum class FieldID : std::uint8_t {
        end = 0,
        innerRandomStreamID = 1,
        innerRandomStreamKey = 2,
        binary = 3
    };
    // The field for raw values 0 to 3, nothing for the others.
    static std::optional<FieldID> fieldID(std::uint8_t raw);

    // One attachment: its flags byte, carried unchanged, and its content.
    struct Binary {
        std::uint8_t flags = 0;
        Bytes data;

        friend bool operator==(const Binary&, const Binary&) = default;
    };

    std::uint32_t streamID = 3;
    Bytes streamKey;
    std::vector<Binary> binaries;

    // Reads fields up to and including the end field and leaves the reader at the first byte
    // after it (where the XML starts). Throws KdbxError.
    static KdbxInnerHeader parse(KdbxReader& reader);
    // The same over any reader with u8(), u32() and read(count) that throw the short read.
    template <class Reader>
    static KdbxInnerHeader read(Reader& reader);
    // Fields 1, 2, every attachment, then the empty end field. Throws KdbxError::corruptedData
    // when a field is longer than its 32-bit length allows.
    Bytes serialize() const;
};

template <class Reader>
KdbxInnerHeader KdbxInnerHeader::read(Reader& reader) {
    KdbxInnerHeader header;
    for (;;) {
        const std::uint8_t id = reader.u8();
        const std::uint32_t length = reader.u32();
        Bytes data = reader.read(length);

        const std::optional<FieldID> known = fieldID(id);
        if (!known) continue;  // unknown fields are skipped
        switch (*known) {
            case FieldID::end:
                return header;
            case FieldID::innerRandomStreamID: {
                std::uint32_t value = 0;
                if (data.size() >= 4) {
                    for (int i = 3; i >= 0; --i) value = value << 8 | data[static_cast<std::size_t>(i)];
                }
                header.streamID = value;
                break;
            }
            case FieldID::innerRandomStreamKey:
                header.streamKey = std::move(data);
                break;
            case FieldID::binary: {
                if (data.empty()) throw KdbxError::corruptedData("boş iç başlık ikili verisi");
                const std::uint8_t flags = data[0];
                // In place: an attachment's bytes never stand twice.
                data.erase(data.begin());
                header.binaries.push_back(Binary{flags, std::move(data)});
                break;
            }
        }
    }
}
