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

// What one key derivation may cost on this machine. A file whose setting would take longer or
// need more memory is refused before any work starts: the derivation runs on the window's
// thread and cannot be interrupted, so a hostile setting would otherwise hold the program for
// good, or have the kernel end it (or another program) for want of memory.
struct KdfBudget {
    // Measured speeds: AES-KDF rounds per second, and Argon2 KiB blocks per second on one lane.
    double aesRoundsPerSecond = 0;
    double argon2KiBPerSecond = 0;
    // Lanes run side by side up to this many.
    unsigned cores = 1;
    // What the machine and the process's own limits can give now; none when nothing says.
    std::optional<std::uint64_t> availableMemoryBytes;
    // Far beyond any sensible setting: a recommended one takes a second or two.
    double maxSeconds = 60;

    // This machine's: the speeds are measured on the derivations themselves once per process,
    // the memory is asked each time.
    static KdfBudget current();
};

// Throws KdbxError::kdfTooExpensive, saying whether time or memory is the reason and how much,
// when the header's key derivation is beyond the budget. Parameters that are invalid are left
// to the derivation's own checks.
void ensureAffordable(const KdbxHeader& header, const KdfBudget& budget);

// Memory that can really be had now: the least of the system's available memory, what the
// address-space and data limits leave and what the control group's limit leaves; none when
// nothing says.
std::optional<std::uint64_t> availableMemoryBytes();

// Throws KdbxError for missing or unusable KDF parameters and for a derivation beyond
// KdfBudget::current(); Argon2::Error and AESCipher::Error pass through unchanged.
DerivedKeys derive(ByteView compositeKey, const KdbxHeader& header);

// The transformed key, 32 bytes, by the KDF the header names. Throws as derive().
Bytes transform(ByteView compositeKey, const KdbxHeader& header);

// SHA-256 of the 32-byte input after `rounds` AES-256 encryptions of each 16-byte half under
// the 32-byte seed. Throws KdbxError::cryptoFailure for other lengths (the input is checked
// first).
Bytes aesKdf(ByteView input, ByteView seed, std::uint64_t rounds);

}  // namespace KdbxKeys
