#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixCore/Kdbx/UUID.h"
#include "OmbrixCore/Kdbx/VariantDictionary.h"

// The identifiers of the payload ciphers and key-derivation functions in KDBX files.
namespace KdbxUUIDs {
inline constexpr UUID aes256 = *UUID::fromString("31C1F2E6-BF71-4350-BE58-05216AFC5AFF");
inline constexpr UUID chacha20 = *UUID::fromString("D6038A2B-8B6F-4CB5-A524-339A31DBB59A");
// Recognised only to be refused by name.
inline constexpr UUID twofish = *UUID::fromString("AD68F29F-576F-4BB9-A36A-D47AF965346C");
inline constexpr UUID kdfAes = *UUID::fromString("C9D9F39A-628A-4460-BF74-0D08C18A4FEA");
inline constexpr UUID kdfArgon2d = *UUID::fromString("EF636DDF-8C29-444B-91F7-A9A403E30A0C");
inline constexpr UUID kdfArgon2id = *UUID::fromString("9E298B19-56DB-4773-B23D-FC3EC6F0A1E6");
}  // namespace KdbxUUIDs

// The outer header of a KDBX file (versions 3.x, 4.0 and 4.1), decoded.
struct KdbxHeader {
    enum class FieldID : std::uint8_t {
        endOfHeader = 0,
        comment = 1,
        cipherID = 2,
        compressionFlags = 3,
        masterSeed = 4,
        transformSeed = 5,
        transformRounds = 6,
        encryptionIV = 7,
        innerRandomStreamKey = 8,
        streamStartBytes = 9,
        innerRandomStreamID = 10,
        kdfParameters = 11,
        publicCustomData = 12,
    };
    // The field for raw values 0 to 12, nothing for the others.
    static std::optional<FieldID> fieldID(std::uint8_t raw);

    static constexpr std::uint32_t signature1 = 0x9AA2D903;
    static constexpr std::uint32_t signature2 = 0xB54BFB67;

    std::uint16_t major = 4;
    std::uint16_t minor = 1;
    UUID cipherUUID = KdbxUUIDs::aes256;
    std::uint32_t compressionFlags = 1;
    Bytes masterSeed;
    Bytes encryptionIV;
    std::optional<VariantDictionary> kdfParameters;
    std::optional<VariantDictionary> publicCustomData;
    std::optional<Bytes> transformSeed;
    std::optional<std::uint64_t> transformRounds;
    std::optional<Bytes> streamStartBytes;
    std::optional<Bytes> innerRandomStreamKey;
    std::optional<std::uint32_t> innerRandomStreamID;
    std::optional<Bytes> comment;
    // After parsing: the exact header bytes, from the first signature byte through the end field.
    Bytes rawData;
    // After parsing: the size of rawData, i.e. the file offset where the data behind the header begins.
    std::size_t endOffset = 0;

    // Reads the header at the start of `data`; throws KdbxError. Bytes after the end field are not read.
    static KdbxHeader parse(ByteView data);
    // The header's bytes. Throws KdbxError::corruptedData when a field is too long for the length
    // field of its version (2 bytes for version 3, 4 bytes for version 4).
    Bytes serialize() const;

    bool isKdbx4() const noexcept { return major > 3; }
    bool compressed() const noexcept { return compressionFlags == 1; }
    // The cipher of cipherUUID; throws KdbxError::unsupportedCipher for any other identifier.
    KdbxCipher cipher() const;
    // The key-derivation settings the header describes; throws KdbxError::unsupportedKdf.
    KdfSettings kdfSettings() const;
    // The KDF parameter dictionary that stores `settings` with `salt`, keys in the order written.
    // Throws KdbxError::unsupportedKdf when an Argon2 memory size does not fit in 64 bits as bytes.
    static VariantDictionary kdfParametersFor(const KdfSettings& settings, const Bytes& salt);
};
