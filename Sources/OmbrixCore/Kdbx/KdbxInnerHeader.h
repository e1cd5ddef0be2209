#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "OmbrixCore/Crypto/Bytes.h"

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
    // Fields 1, 2, every attachment, then the empty end field. Throws KdbxError::corruptedData
    // when a field is longer than its 32-bit length allows.
    Bytes serialize() const;
};
