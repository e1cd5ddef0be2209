#pragma once

#include <cstdint>
#include <optional>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Foundation/StopRequest.h"
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

// While one lives, the key derivations of this thread end early, throwing Stopped, once the
// flag is raised (from any thread). The engine's load and save need not know: a caller that
// runs them on a thread of its own wraps them in one.
class StopScope {
  public:
    explicit StopScope(const StopFlag& flag);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

  private:
    const StopFlag* previous_;
};

// The stop flag of this thread's innermost StopScope, or null.
const StopFlag* currentStop() noexcept;

// What one key derivation may cost. A derivation can be stopped at any point now, so only
// settings that no machine could finish are refused before any work starts (a file that asks
// for years of work, or more memory than there is, would otherwise hold the program or have
// the kernel end it, or another program, for want of memory).
struct KdfBudget {
    // Speeds on one core of this machine, from the thread's CPU time (so a momentarily busy
    // machine does not look slow): AES-KDF rounds per second, and Argon2 KiB blocks per second
    // on one lane (measured in the caches, which only ever makes the bound more lenient).
    double aesRoundsPerSecond = 0;
    double argon2KiBPerSecond = 0;
    // Lanes run side by side up to this many.
    unsigned cores = 1;
    // What the machine and the process's own limits can give now; none when nothing says.
    std::optional<std::uint64_t> availableMemoryBytes;
    // A day: far beyond any setting a person would choose, and what takes longer than that
    // here is what no desktop could finish either.
    double maxSeconds = 86400;

    // This machine's: both speeds, each measured once per process in about a millisecond.
    static KdfBudget current();
    // The same, measuring only the speed that the header's key derivation needs.
    static KdfBudget forHeader(const KdbxHeader& header);
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
// KdfBudget::forHeader(); Argon2::Error and AESCipher::Error pass through unchanged; Stopped
// when the thread's StopScope is raised.
DerivedKeys derive(ByteView compositeKey, const KdbxHeader& header);

// The transformed key, 32 bytes, by the KDF the header names. Throws as derive().
Bytes transform(ByteView compositeKey, const KdbxHeader& header);

// SHA-256 of the 32-byte input after `rounds` AES-256 encryptions of each 16-byte half under
// the 32-byte seed. Throws KdbxError::cryptoFailure for other lengths (the input is checked
// first). Throws Stopped when `stop` is raised meanwhile.
Bytes aesKdf(ByteView input, ByteView seed, std::uint64_t rounds, const StopFlag* stop = nullptr);

}  // namespace KdbxKeys
