#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Crypto/Argon2.h"
#include "OmbrixCore/Crypto/Argon2Compress.h"
#include "OmbrixCore/Foundation/StopRequest.h"
#include "OmbrixCore/Kdbx/AesKdfRounds.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"
#include "Support/AESReference.h"
#include "Support/Fixtures.h"

using testsupport::fixturePath;
using testsupport::fromHex;
using testsupport::readFile;

namespace {

// Keys are compared as booleans so that a failure never prints key material.
bool same(const Bytes& a, const Bytes& b) {
    return a == b;
}

const Bytes compositeKey = fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
const Bytes seed = Bytes(32, 0x5A);
const Bytes salt = Bytes(16, 0x2B);

// AES-KDF exactly as the format defines it: every round enciphers each half on its own, with a
// fresh one-block ECB operation.
Bytes literalAesKdf(const Bytes& input, const Bytes& key, std::uint64_t rounds) {
    Bytes left(input.begin(), input.begin() + 16);
    Bytes right(input.begin() + 16, input.end());
    for (std::uint64_t i = 0; i < rounds; ++i) {
        left = AESReference::ecbEncryptNoPadding(left, key);
        right = AESReference::ecbEncryptNoPadding(right, key);
    }
    return KdbxCrypto::sha256({left, right});
}

std::vector<AesKdfKernel> availableKernels() {
    std::vector<AesKdfKernel> kernels;
    for (AesKdfKernel k : {AesKdfKernel::evp, AesKdfKernel::aesni}) {
        if (aesKdfKernelAvailable(k)) kernels.push_back(k);
    }
    return kernels;
}

const char* kernelName(AesKdfKernel kernel) {
    return kernel == AesKdfKernel::aesni ? "AES-NI" : "EVP";
}

struct Entry {
    std::string key;
    VariantValue value;
};

KdbxHeader v4(const std::vector<Entry>& entries) {
    VariantDictionary parameters;
    for (const Entry& e : entries) parameters.set(e.key, e.value);
    KdbxHeader header;
    header.masterSeed = Bytes(32, 0x4D);
    header.kdfParameters = parameters;
    return header;
}

KdbxHeader v3(std::optional<Bytes> transformSeed, std::optional<std::uint64_t> rounds) {
    KdbxHeader header;
    header.major = 3;
    header.minor = 1;
    header.masterSeed = Bytes(32, 0x4D);
    header.transformSeed = std::move(transformSeed);
    header.transformRounds = rounds;
    return header;
}

Entry kdf(const UUID& id) {
    return {"$UUID", VariantValue::bytes(id.kdbxBytes())};
}

// An Argon2id dictionary small enough for a test, with the given entries replacing or joining
// the base ones.
KdbxHeader argon2id(std::vector<Entry> changes) {
    std::vector<Entry> entries = {kdf(KdbxUUIDs::kdfArgon2id),
                                  {"S", VariantValue::bytes(salt)},
                                  {"P", VariantValue::uint32(1)},
                                  {"M", VariantValue::uint64(64 * 1024)},
                                  {"I", VariantValue::uint64(1)}};
    entries.insert(entries.end(), changes.begin(), changes.end());
    return v4(entries);
}

template <class Fn>
std::optional<Argon2::Error> thrownArgon2Error(Fn&& fn) {
    try {
        fn();
    } catch (const Argon2::Error& error) {
        return error;
    }
    return std::nullopt;
}

}  // namespace

inline void PrintTo(const Argon2::Error& error, std::ostream* out) {
    *out << "Argon2::Error(" << error.description() << ")";
}

// FIPS 197, appendix C.3: one round of AES-KDF is one AES-256 encryption of each half.
TEST(AesKdf, KernelsMatchTheAES256KnownAnswer) {
    const Bytes key = fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const Bytes plain = fromHex("00112233445566778899aabbccddeeff 00112233445566778899aabbccddeeff");
    const Bytes cipher = fromHex("8ea2b7ca516745bfeafc49904b496089 8ea2b7ca516745bfeafc49904b496089");
    for (AesKdfKernel kernel : availableKernels()) {
        Bytes block = plain;
        aesKdfRounds(kernel, std::span<std::uint8_t, 32>(block.data(), 32),
                     std::span<const std::uint8_t, 32>(key.data(), 32), 1);
        EXPECT_EQ(block, cipher) << kernelName(kernel);
    }
}

// Every kernel and the public operation agree with the round-by-round definition, for random
// inputs and seeds and round counts around the edges of the loop.
TEST(AesKdf, KernelsAgreeWithTheLiteralDefinition) {
    EXPECT_EQ(aesKdfPreferredKernel() == AesKdfKernel::aesni, aesKdfKernelAvailable(AesKdfKernel::aesni));
    for (std::uint64_t rounds : {0u, 1u, 2u, 3u, 17u, 300u}) {
        for (int sample = 0; sample < 3; ++sample) {
            const Bytes input = KdbxCrypto::randomBytes(32);
            const Bytes key = KdbxCrypto::randomBytes(32);
            const Bytes expected = literalAesKdf(input, key, rounds);
            SCOPED_TRACE("rounds " + std::to_string(rounds));
            EXPECT_TRUE(same(KdbxKeys::aesKdf(input, key, rounds), expected));
            for (AesKdfKernel kernel : availableKernels()) {
                Bytes block = input;
                aesKdfRounds(kernel, std::span<std::uint8_t, 32>(block.data(), 32),
                             std::span<const std::uint8_t, 32>(key.data(), 32), rounds);
                EXPECT_TRUE(same(KdbxCrypto::sha256(block), expected)) << kernelName(kernel);
            }
        }
    }
}

TEST(AesKdf, LengthChecks) {
    struct Case {
        Bytes input;
        Bytes key;
        KdbxError expected;
        const char* note;
    };
    const KdbxError badInput = KdbxError::cryptoFailure("AES-KDF girdisi 32 bayt olmalı");
    const KdbxError badSeed = KdbxError::cryptoFailure("AES-KDF tohumu 32 bayt olmalı");
    const std::vector<Case> cases = {
        {Bytes(31, 1), Bytes(31, 2), badInput, "31-byte input, checked before the seed"},
        {Bytes(33, 1), seed, badInput, "33-byte input"},
        {Bytes(32, 1), Bytes(31, 2), badSeed, "31-byte seed"},
        {Bytes(32, 1), Bytes(), badSeed, "empty seed"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thrownKdbxError([&] { KdbxKeys::aesKdf(c.input, c.key, 1); }), c.expected) << c.note;
    }
}

TEST(KdbxKeys, TransformFailures) {
    const UUID unknown = *UUID::fromString("abcdef01-2345-6789-abcd-ef0123456789");
    const KdbxError noUUID = KdbxError::unsupportedKdf("KdfParameters içinde $UUID yok");
    const KdbxError invalid = KdbxError::unsupportedKdf("geçersiz Argon2 parametreleri");
    const KdbxError outOfRange = KdbxError::unsupportedKdf("Argon2 parametreleri aralık dışı");
    KdbxHeader noParameters = v4({});
    noParameters.kdfParameters.reset();
    KdbxHeader v3WithArgon2 = argon2id({});
    v3WithArgon2.major = 3;
    v3WithArgon2.transformSeed = seed;

    struct Case {
        KdbxHeader header;
        KdbxError expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {v3(std::nullopt, 6000), KdbxError::corruptedData("KDBX 3 dönüştürme parametreleri eksik"),
         "version 3 without transform seed"},
        {v3WithArgon2, KdbxError::corruptedData("KDBX 3 dönüştürme parametreleri eksik"),
         "version 3 without rounds, whatever its KDF parameters hold"},
        {noParameters, noUUID, "version 4 without KDF parameters"},
        {v4({}), noUUID, "empty KDF parameters"},
        {v4({{"R", VariantValue::uint64(10)}}), noUUID, "no $UUID entry"},
        {v4({{"$UUID", VariantValue::bytes(Bytes(15, 0xC9))}}), noUUID, "15-byte $UUID"},
        {v4({{"$UUID", VariantValue::string("C9D9F39A-628A-4460-BF74-0D08C18A4FEA")}}), noUUID,
         "$UUID as text"},
        {v4({kdf(unknown)}), KdbxError::unsupportedKdf("ABCDEF01-2345-6789-ABCD-EF0123456789"),
         "unknown identifier, in upper case"},
        {v4({kdf(KdbxUUIDs::kdfAes), {"R", VariantValue::uint64(1)}}),
         KdbxError::cryptoFailure("AES-KDF tohumu 32 bayt olmalı"), "AES-KDF without seed"},
        {argon2id({{"M", VariantValue::uint64(1023)}}), invalid, "memory 1023 bytes"},
        {argon2id({{"I", VariantValue::uint64(0)}}), invalid, "no iterations"},
        {argon2id({{"P", VariantValue::uint32(0)}}), invalid, "no parallelism"},
        {argon2id({{"M", VariantValue::uint64(4398046511104)}}), outOfRange, "memory 2^42 bytes"},
        {argon2id({{"M", VariantValue::uint64(UINT64_MAX)}}), outOfRange, "memory 2^64-1 bytes"},
        {argon2id({{"I", VariantValue::uint64(4294967296)}}), outOfRange, "iterations 2^32"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thrownKdbxError([&] { KdbxKeys::derive(compositeKey, c.header); }), c.expected) << c.note;
    }
}

// Argon2's own checks come after ours and their errors pass through unchanged.
TEST(KdbxKeys, Argon2ErrorsPassThrough) {
    KdbxHeader noSalt = argon2id({});
    noSalt.kdfParameters->remove("S");
    struct Case {
        KdbxHeader header;
        Argon2::Error expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {argon2id({{"M", VariantValue::uint64(1024)}}), Argon2::Error::invalidMemory(1),
         "1 KiB for one lane, below 8 KiB per lane"},
        {noSalt, Argon2::Error::invalidSaltLength(0), "no salt"},
        {argon2id({{"V", VariantValue::uint32(0x11)}}), Argon2::Error::unsupportedVersion(0x11),
         "version 0x11"},
        {argon2id({{"P", VariantValue::uint32(16777216)}}), Argon2::Error::invalidParallelism(16777216),
         "parallelism 2^24"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(thrownArgon2Error([&] { KdbxKeys::transform(compositeKey, c.header); }), c.expected)
            << c.note;
    }
}

// Which parameters reach the KDF, with the defaults for missing or unconvertible entries.
TEST(KdbxKeys, TransformParameters) {
    const auto argon2 = [](std::uint32_t memoryKiB, std::uint32_t iterations, std::uint32_t parallelism,
                           Argon2::Variant variant, const Bytes& secret = {}, const Bytes& data = {}) {
        return Argon2::hash(compositeKey, salt, secret, data, memoryKiB, iterations, parallelism, 32, variant,
                            0x13);
    };
    const Bytes secret = Bytes(8, 0x11), data = Bytes(5, 0x22);
    struct Case {
        KdbxHeader header;
        Bytes expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {v3(seed, 0), KdbxCrypto::sha256(compositeKey), "version 3 with 0 rounds"},
        {v3(seed, 7), literalAesKdf(compositeKey, seed, 7), "version 3, 7 rounds"},
        {v4({kdf(KdbxUUIDs::kdfAes), {"S", VariantValue::bytes(seed)}}),
         literalAesKdf(compositeKey, seed, 6000), "AES-KDF without rounds: 6000"},
        {v4({kdf(KdbxUUIDs::kdfAes), {"S", VariantValue::bytes(seed)}, {"R", VariantValue::int32(9)}}),
         literalAesKdf(compositeKey, seed, 9), "AES-KDF rounds as int32"},
        {v4({kdf(KdbxUUIDs::kdfArgon2id),
             {"S", VariantValue::bytes(salt)},
             {"M", VariantValue::uint64(1 << 20)}}),
         argon2(1024, 2, 2, Argon2::Variant::id), "Argon2 defaults: parallelism 2, 2 passes, version 0x13"},
        {argon2id({{"M", VariantValue::uint64((1 << 20) + 512)}}), argon2(1024, 1, 1, Argon2::Variant::id),
         "1 MiB plus 512 bytes is 1024 KiB"},
        {argon2id({{"M", VariantValue::int64(-1)}, {"I", VariantValue::string("3")}}),
         argon2(65536, 2, 1, Argon2::Variant::id), "unconvertible memory and iterations take the defaults"},
        {argon2id({{"K", VariantValue::bytes(secret)}, {"A", VariantValue::bytes(data)}}),
         argon2(64, 1, 1, Argon2::Variant::id, secret, data), "secret key and associated data"},
        {argon2id({kdf(KdbxUUIDs::kdfArgon2d)}), argon2(64, 1, 1, Argon2::Variant::d), "Argon2d"},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(same(KdbxKeys::transform(compositeKey, c.header), c.expected)) << c.note;

    EXPECT_FALSE(same(KdbxKeys::transform(compositeKey, argon2id({kdf(KdbxUUIDs::kdfArgon2d)})),
                      KdbxKeys::transform(compositeKey, argon2id({}))))
        << "Argon2d and Argon2id with the same parameters";
}

TEST(KdbxKeys, DerivedKeys) {
    const KdbxHeader version3 = v3(seed, 0);
    const KdbxKeys::DerivedKeys keys3 = KdbxKeys::derive(compositeKey, version3);
    EXPECT_TRUE(same(keys3.transformed, KdbxCrypto::sha256(compositeKey)));
    EXPECT_TRUE(same(keys3.master, KdbxCrypto::sha256({version3.masterSeed, keys3.transformed})));
    EXPECT_FALSE(keys3.hmac.has_value());

    const KdbxHeader version4 = argon2id({});
    const KdbxKeys::DerivedKeys keys4 = KdbxKeys::derive(compositeKey, version4);
    Bytes hmacInput = version4.masterSeed;
    hmacInput.insert(hmacInput.end(), keys4.transformed.begin(), keys4.transformed.end());
    hmacInput.push_back(0x01);
    ASSERT_EQ(hmacInput.size(), 65u);
    EXPECT_EQ(keys4.transformed.size(), 32u);
    EXPECT_TRUE(same(keys4.transformed, KdbxKeys::transform(compositeKey, version4)));
    EXPECT_TRUE(same(keys4.master, KdbxCrypto::sha256({version4.masterSeed, keys4.transformed})));
    ASSERT_TRUE(keys4.hmac.has_value());
    EXPECT_EQ(keys4.hmac->size(), 64u);
    EXPECT_TRUE(same(*keys4.hmac, KdbxCrypto::sha512(hmacInput)));
}

// Files written by an independent writer of the format: the transformed key of each, from the
// manifest's composite key, must be the manifest's.
TEST(KdbxKeys, FixtureTransformedKeys) {
    std::ifstream in(fixturePath("kdbx/manifest.json"));
    const nlohmann::json manifest = nlohmann::json::parse(in);
    ASSERT_FALSE(manifest.at("files").empty());
    for (const nlohmann::json& file : manifest.at("files")) {
        const std::string name = file.at("file");
        const KdbxHeader header = KdbxHeader::parse(readFile(fixturePath("kdbx/" + name)));
        const Bytes composite = fromHex(file.at("key_material").at("composite_key"));
        const Bytes transformed = fromHex(file.at("key_material").at("transformed_key"));
        const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(composite, header);
        EXPECT_TRUE(same(keys.transformed, transformed)) << name;
        EXPECT_EQ(keys.hmac.has_value(), header.isKdbx4()) << name;
    }
}

// Settings no machine could finish are refused before any work, whatever this machine's speed;
// memory beyond what can be had now is refused before it is allocated.
TEST(KdbxKeys, DerivationsBeyondThisMachineAreRefusedBeforeTheyStart) {
    const auto pages = static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES));
    const auto pageSize = static_cast<std::uint64_t>(::sysconf(_SC_PAGE_SIZE));
    // Just under the whole of the machine's memory: more than is ever free.
    const std::uint64_t nearlyAllMemory = pages * pageSize - (std::uint64_t{1} << 20);
    struct Case {
        KdbxHeader header;
        const char* text;
        const char* note;
    };
    const std::vector<Case> cases = {
        {v3(seed, std::uint64_t{1} << 63), "AES-KDF'nin 9223372036854775808 turu", "version 3, 2^63 rounds"},
        {v4({kdf(KdbxUUIDs::kdfAes),
             {"S", VariantValue::bytes(seed)},
             {"R", VariantValue::uint64(UINT64_MAX)}}),
         "AES-KDF'nin 18446744073709551615 turu", "version 4 AES-KDF, 2^64-1 rounds"},
        {argon2id({{"M", VariantValue::uint64(1 << 20)}, {"I", VariantValue::uint64(4294967295)}}),
         "Argon2'nin 1 MiB bellek üzerinde 4294967295 geçişi", "2^32-1 passes"},
        {argon2id({{"M", VariantValue::uint64(4398046511103)}, {"P", VariantValue::uint32(4)}}),
         "Argon2 4,0 TiB bellek istiyor", "2^42-1 bytes"},
        {argon2id({{"M", VariantValue::uint64(nearlyAllMemory)}, {"P", VariantValue::uint32(4)}}),
         "bellek istiyor; bu bilgisayarda şu an en çok", "just under the machine's memory"},
    };
    for (const Case& c : cases) {
        const std::optional<KdbxError> error =
            thrownKdbxError([&] { KdbxKeys::transform(compositeKey, c.header); });
        ASSERT_TRUE(error) << c.note;
        EXPECT_EQ(error->kind(), KdbxError::Kind::kdfTooExpensive) << c.note;
        EXPECT_NE(error->description().find(c.text), std::string::npos)
            << c.note << ": " << error->description();
        EXPECT_EQ(error->description().rfind("Bu veritabanı açılmadı: ", 0), 0u) << error->description();
    }

    // The recommended setting and a heavy one of real use pass on this machine.
    KdbxHeader recommended = argon2id({{"M", VariantValue::uint64(std::uint64_t{256} << 20)},
                                       {"I", VariantValue::uint64(16)},
                                       {"P", VariantValue::uint32(4)}});
    EXPECT_NO_THROW(KdbxKeys::ensureAffordable(recommended, KdbxKeys::KdfBudget::current()));
    EXPECT_NO_THROW(KdbxKeys::ensureAffordable(v3(seed, 10'000'000), KdbxKeys::KdfBudget::current()));
}

// The bound follows the measured speeds, the lanes that can run side by side and the memory.
TEST(KdbxKeys, TheBoundFollowsTheBudget) {
    KdbxKeys::KdfBudget budget;
    budget.aesRoundsPerSecond = 1e6;
    budget.argon2KiBPerSecond = 1e6;
    budget.cores = 4;
    budget.availableMemoryBytes = std::uint64_t{1} << 30;
    budget.maxSeconds = 60;
    const auto argon2 = [](std::uint64_t mib, std::uint64_t passes, std::uint32_t lanes) {
        return argon2id({{"M", VariantValue::uint64(mib << 20)},
                         {"I", VariantValue::uint64(passes)},
                         {"P", VariantValue::uint32(lanes)}});
    };
    struct Case {
        KdbxHeader header;
        const char* refusal;  // none: accepted
    };
    const std::vector<Case> cases = {
        {v3(seed, 60'000'000), nullptr},
        {v3(seed, 61'000'000), "yaklaşık 61 saniye sürerdi"},
        {argon2(256, 16, 4), nullptr},
        {argon2(256, 300, 4), nullptr},  // four lanes side by side: about 20 seconds
        {argon2(256, 300, 1), "yaklaşık 79 saniye sürerdi"},
        {argon2(256, 300, 8), nullptr},  // more lanes than cores gain nothing more
        {argon2(256, 1000, 8), "yaklaşık 66 saniye sürerdi"},
        {argon2(1024, 1, 1), nullptr},
        {argon2(1025, 1, 1),
         "Argon2 1,0 GiB bellek istiyor; bu bilgisayarda şu an en çok 1,0 GiB kullanılabilir"},
    };
    for (const Case& c : cases) {
        const std::optional<KdbxError> error =
            thrownKdbxError([&] { KdbxKeys::ensureAffordable(c.header, budget); });
        if (!c.refusal) {
            EXPECT_FALSE(error) << error->description();
            continue;
        }
        ASSERT_TRUE(error) << c.refusal;
        EXPECT_NE(error->description().find(c.refusal), std::string::npos) << error->description();
    }
}

// A derivation that nothing could finish soon ends within moments of the stop request of its
// thread's scope, from another thread, whichever KDF the file names.
TEST(KdbxKeys, ADerivationEndsSoonAfterItsStopIsRaised) {
    struct Case {
        KdbxHeader header;
        const char* note;
    };
    // Each takes minutes here, yet its estimate stays far inside the bound even where a loaded
    // machine (a virtual one whose host is busy) makes the speed sample look many times slower:
    // the derivation must be let through to be stopped.
    const std::vector<Case> cases = {
        {v4({kdf(KdbxUUIDs::kdfAes),
             {"S", VariantValue::bytes(seed)},
             {"R", VariantValue::uint64(1ull << 36)}}),
         "AES-KDF, 2^36 rounds"},
        {v3(seed, 1ull << 36), "version 3, 2^36 rounds"},
        {argon2id({{"M", VariantValue::uint64(64 << 20)}, {"I", VariantValue::uint64(10000)}}),
         "Argon2id, 64 MiB, 10000 passes, one lane"},
        {argon2id({{"M", VariantValue::uint64(64 << 20)},
                   {"I", VariantValue::uint64(10000)},
                   {"P", VariantValue::uint32(4)}}),
         "Argon2id, 64 MiB, 10000 passes, four lanes"},
    };
    for (const Case& c : cases) {
        StopFlag stop{false};
        std::atomic<bool> running{false};
        std::atomic<int> outcome{0};  // 1 stopped, 2 finished, 3 other error
        std::string otherError;       // written before outcome 3, read after the join
        std::thread derivation([&] {
            KdbxKeys::StopScope scope(stop);
            running = true;
            try {
                KdbxKeys::transform(compositeKey, c.header);
                outcome = 2;
            } catch (const Stopped&) {
                outcome = 1;
            } catch (const std::exception& error) {
                otherError = error.what();
                outcome = 3;
            } catch (...) {
                outcome = 3;
            }
        });
        while (!running) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(outcome.load(), 0) << c.note << ": still working before the stop";
        stop = true;
        derivation.join();
        EXPECT_EQ(outcome.load(), 1) << c.note << " " << otherError;
    }
}

namespace {

std::atomic<bool> matrixClean{true};
void checkMatrixClean(ByteView matrix) {
    for (const std::uint8_t byte : matrix) {
        if (byte != 0) {
            matrixClean = false;
            return;
        }
    }
}

}  // namespace

// What a stopped Argon2 had written of its matrix is wiped before the memory goes.
TEST(KdbxKeys, AStoppedArgon2LeavesItsMatrixWiped) {
    for (const std::uint32_t lanes : {1u, 4u}) {
        StopFlag stop{false};
        matrixClean = true;
        argon2SetMatrixObserver(checkMatrixClean);
        bool stopped = false;
        std::thread derivation([&] {
            try {
                Argon2::hash(compositeKey, salt, {}, {}, 32 * 1024, 100000, lanes, 32, Argon2::Variant::d,
                             0x13, &stop);
            } catch (const Stopped&) {
                stopped = true;
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        stop = true;
        derivation.join();
        argon2SetMatrixObserver(nullptr);
        EXPECT_TRUE(stopped) << lanes;
        EXPECT_TRUE(matrixClean) << lanes << " lanes";
    }
}

// Only settings no machine could finish are refused: one that takes ten minutes here is a
// matter of patience (and can be stopped), not a refusal.
TEST(KdbxKeys, ALongButFinishableDerivationIsNotRefused) {
    const KdbxKeys::KdfBudget budget = KdbxKeys::KdfBudget::current();
    const auto tenMinutes = static_cast<std::uint64_t>(budget.aesRoundsPerSecond * 600);
    EXPECT_NO_THROW(KdbxKeys::ensureAffordable(v3(seed, tenMinutes), KdbxKeys::KdfBudget::current()));
    const std::uint64_t passes = static_cast<std::uint64_t>(budget.argon2KiBPerSecond * 600 / (256.0 * 1024));
    EXPECT_NO_THROW(
        KdbxKeys::ensureAffordable(argon2id({{"M", VariantValue::uint64(std::uint64_t{256} << 20)},
                                             {"I", VariantValue::uint64(passes)}}),
                                   KdbxKeys::KdfBudget::current()));
}

namespace {

constexpr int childSucceeded = 23;

std::uint64_t addressSpaceInUse() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGE_SIZE));
}

}  // namespace

// Run by the test below in a fresh process of its own: the first derivation of a process, with
// 16 MiB of address space to spare beyond what the derivation itself takes.
TEST(KdbxKeys, FreshProcessChild) {
    const char* which = std::getenv("OMBRIX_FRESH_KDF_CHILD");
    if (!which) GTEST_SKIP() << "run by FirstDerivationOfAProcessNeedsNoLargeSample";
    const bool aes = std::string(which) == "aes";
    KdbxHeader header;
    if (aes) {
        header =
            v4({kdf(KdbxUUIDs::kdfAes), {"S", VariantValue::bytes(seed)}, {"R", VariantValue::uint64(6000)}});
    } else {
        header = argon2id({{"M", VariantValue::uint64(8 << 20)}});
    }
    const std::uint64_t own = aes ? 0 : std::uint64_t{8} << 20;
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &limit), 0);
    limit.rlim_cur = addressSpaceInUse() + own + (std::uint64_t{16} << 20);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &limit), 0);
    try {
        KdbxKeys::derive(compositeKey, header);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "derivation failed: %s\n", error.what());
        std::_Exit(1);
    }
    std::_Exit(childSucceeded);
}

TEST(KdbxKeys, FirstDerivationOfAProcessNeedsNoLargeSample) {
    for (const char* which : {"aes", "argon2"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("OMBRIX_FRESH_KDF_CHILD", which, 1);
            const char* argv[] = {"/proc/self/exe", "--gtest_filter=KdbxKeys.FreshProcessChild", nullptr};
            ::execv(argv[0], const_cast<char**>(argv));
            std::_Exit(2);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << which;
        EXPECT_EQ(WEXITSTATUS(status), childSucceeded) << which;
    }
}
