#pragma once

#include <cstddef>
#include <initializer_list>

#include "OmbrixCore/Foundation/Bytes.h"

// Hashes, MAC, random bytes and constant-time comparison used throughout the engine
// (OpenSSL 3). A failure of the library is thrown as KdbxError::cryptoFailure.
namespace KdbxCrypto {

Bytes sha256(ByteView data);
Bytes sha512(ByteView data);
// The digest of the parts as if they were one concatenated buffer.
Bytes sha256(std::initializer_list<ByteView> parts);
Bytes sha512(std::initializer_list<ByteView> parts);

Bytes hmacSha256(ByteView key, ByteView data);
Bytes hmacSha256(ByteView key, std::initializer_list<ByteView> parts);

// True when both buffers have the same length and bytes. The time taken depends only on the
// length, never on where the first difference lies: every hash and MAC check goes through it.
bool constantTimeEquals(ByteView a, ByteView b);

// `count` bytes from the cryptographically secure generator (OpenSSL's, else the kernel's
// getrandom). When neither delivers, throws KdbxError::cryptoFailure: never weak bytes.
// A negative count is a programming error.
Bytes randomBytes(std::ptrdiff_t count);

}  // namespace KdbxCrypto
