#pragma once

#include <optional>
#include <string_view>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/Models.h"

// The composite key of a database and the key files it may take: XML key files of versions 1.0
// and 2.0, 32 raw bytes, 64 hexadecimal characters, or any other file by its SHA-256.
namespace KdbxKeys {

// Which rule recognised a key file.
enum class KeyFileKind { xmlV1, xmlV2, rawBinary32, hex64, hashed };

struct KeyFileResult {
    Bytes key;
    KeyFileKind kind;

    friend bool operator==(const KeyFileResult&, const KeyFileResult&) = default;
};

// SHA-256(SHA-256(password) || key-file key), either part left out when absent (a present but
// empty password counts). Throws KdbxError::invalidCredentials when the key has neither, and the
// key file's errors.
Bytes compositeKey(const KdbxKey& key);

// The key a key file contributes. Throws KdbxError::corruptedData for an XML key file whose
// key data is missing, not decodable or fails its hash check.
KeyFileResult keyFileKey(ByteView file);

// Pairs of hexadecimal digits (either case) to bytes; nothing for an odd length or any other
// character. The empty text gives no bytes.
std::optional<Bytes> hexDecode(std::string_view text);

}  // namespace KdbxKeys
