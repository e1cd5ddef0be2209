#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "OmbrixCore/Crypto/Argon2.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/AesKdfRounds.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

namespace {

// What a KDBX 4 reader assumes for an entry that is missing or of a type that does not convert.
constexpr std::uint64_t defaultAesRounds = 6000;
constexpr std::uint32_t defaultParallelism = 2;
constexpr std::uint64_t defaultMemoryBytes = std::uint64_t{64} << 20;
constexpr std::uint64_t defaultIterations = 2;
constexpr std::uint32_t defaultArgon2Version = 0x13;

constexpr std::uint64_t minimumMemoryBytes = 1024;
// Argon2 takes its memory as a 32-bit count of KiB; from 2^42 bytes on that count would wrap.
constexpr std::uint64_t memoryBytesLimit = std::uint64_t{1} << 42;
constexpr std::uint64_t iterationsLimit = 0xFFFFFFFF;

constexpr std::ptrdiff_t transformedLength = 32;

Bytes bytesEntry(const VariantDictionary& parameters, std::string_view key) {
    const std::optional<VariantValue> value = parameters.get(key);
    if (!value) return {};
    return value->asData().value_or(Bytes{});
}

std::uint64_t uint64Entry(const VariantDictionary& parameters, std::string_view key, std::uint64_t fallback) {
    const std::optional<VariantValue> value = parameters.get(key);
    if (!value) return fallback;
    return value->asUInt64().value_or(fallback);
}

std::uint32_t uint32Entry(const VariantDictionary& parameters, std::string_view key, std::uint32_t fallback) {
    const std::optional<VariantValue> value = parameters.get(key);
    if (!value) return fallback;
    return value->asUInt32().value_or(fallback);
}

Bytes argon2Transform(ByteView compositeKey, const VariantDictionary& parameters, Argon2::Variant variant) {
    const Bytes salt = bytesEntry(parameters, "S");
    const std::uint32_t parallelism = uint32Entry(parameters, "P", defaultParallelism);
    const std::uint64_t memoryBytes = uint64Entry(parameters, "M", defaultMemoryBytes);
    const std::uint64_t iterations = uint64Entry(parameters, "I", defaultIterations);
    const std::uint32_t version = uint32Entry(parameters, "V", defaultArgon2Version);
    const Bytes secret = bytesEntry(parameters, "K");
    const Bytes associatedData = bytesEntry(parameters, "A");

    if (memoryBytes < minimumMemoryBytes || iterations == 0 || parallelism == 0) {
        throw KdbxError::unsupportedKdf("geçersiz Argon2 parametreleri");
    }
    // Both bounds come before the narrowing below, so no count can wrap into a small one.
    if (memoryBytes >= memoryBytesLimit || iterations > iterationsLimit) {
        throw KdbxError::unsupportedKdf("Argon2 parametreleri aralık dışı");
    }
    const auto memoryKiB = static_cast<std::uint32_t>(memoryBytes / 1024);
    // More memory than the machine holds is refused by Argon2 itself before anything is allocated.
    return Argon2::hash(compositeKey, salt, secret, associatedData, memoryKiB,
                        static_cast<std::uint32_t>(iterations), parallelism, transformedLength, variant,
                        version);
}

}  // namespace

namespace KdbxKeys {

DerivedKeys derive(ByteView compositeKey, const KdbxHeader& header) {
    DerivedKeys keys;
    keys.transformed = transform(compositeKey, header);
    keys.master = KdbxCrypto::sha256({header.masterSeed, keys.transformed});
    if (header.major > 3) {
        const std::uint8_t one = 0x01;
        keys.hmac = KdbxCrypto::sha512({header.masterSeed, keys.transformed, ByteView(&one, 1)});
    }
    return keys;
}

Bytes transform(ByteView compositeKey, const KdbxHeader& header) {
    if (header.major < 4) {
        // Version 3 keeps the AES-KDF parameters in header fields of their own.
        if (!header.transformSeed || !header.transformRounds) {
            throw KdbxError::corruptedData("KDBX 3 dönüştürme parametreleri eksik");
        }
        return aesKdf(compositeKey, *header.transformSeed, *header.transformRounds);
    }

    std::optional<UUID> kdf;
    if (header.kdfParameters) kdf = UUID::fromKdbxBytes(bytesEntry(*header.kdfParameters, "$UUID"));
    if (!kdf) throw KdbxError::unsupportedKdf("KdfParameters içinde $UUID yok");
    const VariantDictionary& parameters = *header.kdfParameters;

    if (*kdf == KdbxUUIDs::kdfAes) {
        return aesKdf(compositeKey, bytesEntry(parameters, "S"),
                      uint64Entry(parameters, "R", defaultAesRounds));
    }
    if (*kdf == KdbxUUIDs::kdfArgon2d) return argon2Transform(compositeKey, parameters, Argon2::Variant::d);
    if (*kdf == KdbxUUIDs::kdfArgon2id) return argon2Transform(compositeKey, parameters, Argon2::Variant::id);
    throw KdbxError::unsupportedKdf(kdf->uuidString());
}

Bytes aesKdf(ByteView input, ByteView seed, std::uint64_t rounds) {
    if (input.size() != 32) throw KdbxError::cryptoFailure("AES-KDF girdisi 32 bayt olmalı");
    if (seed.size() != 32) throw KdbxError::cryptoFailure("AES-KDF tohumu 32 bayt olmalı");

    // The halves are wiped on every way out: until hashed they are key material.
    struct Halves {
        std::array<std::uint8_t, 32> bytes;
        ~Halves() { secureWipe(bytes.data(), bytes.size()); }
    } halves;
    std::copy(input.begin(), input.end(), halves.bytes.begin());
    aesKdfRounds(aesKdfPreferredKernel(), halves.bytes, seed.first<32>(), rounds);
    return KdbxCrypto::sha256(halves.bytes);
}

}  // namespace KdbxKeys
