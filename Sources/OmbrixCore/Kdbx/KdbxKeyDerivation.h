#pragma once

#include <cstdint>
#include <optional>

#include "OmbrixCore/Crypto/Bytes.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"

// From the 32-byte composite key and a file's outer header to the keys that open and seal the
// file: the key transformation (AES-KDF for version 3 and where a version 4 file names it,
// Argon2d or Argon2id otherwise), then the payload key and, for version 4, the HMAC key.
namespace KdbxKeys {

struct DerivedKeys {
    // SHA-256(master seed ‖ transformed): the key of the payload cipher.
    Bytes master;
    // Version 4 only: SHA-512(master seed ‖ transformed ‖ 0x01), the key behind the block and
    // header HMACs.
    std::optional<Bytes> hmac;
    // The 32-byte output of the key transformation.
    Bytes transformed;
};

// Throws KdbxError for missing or unusable KDF parameters; Argon2::Error and AESCipher::Error
// pass through unchanged.
DerivedKeys derive(ByteView compositeKey, const KdbxHeader& header);

// The transformed key, 32 bytes, by the KDF the header names. Throws as derive().
Bytes transform(ByteView compositeKey, const KdbxHeader& header);

// SHA-256 of the 32-byte input after `rounds` AES-256 encryptions of each 16-byte half under
// the 32-byte seed. Throws KdbxError::cryptoFailure for other lengths (the input is checked
// first).
Bytes aesKdf(ByteView input, ByteView seed, std::uint64_t rounds);

}  // namespace KdbxKeys
