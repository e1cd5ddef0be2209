#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "OmbrixCore/Crypto/Argon2.h"
#include "OmbrixCore/Crypto/Argon2Compress.h"
#include "Support/Fixtures.h"

using testsupport::toHex;
using Variant = Argon2::Variant;

namespace {

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// One call of Argon2::hash, small enough for a test.
struct Call {
    Bytes password = Bytes(32, 0x01);
    Bytes salt = Bytes(16, 0x02);
    Bytes secret;
    Bytes associatedData;
    std::uint32_t memoryKiB = 32;
    std::uint32_t iterations = 1;
    std::uint32_t parallelism = 1;
    std::ptrdiff_t outputLength = 32;
    Variant variant = Variant::id;
    std::uint32_t version = 0x13;

    Bytes run() const {
        return Argon2::hash(password, salt, secret, associatedData, memoryKiB, iterations, parallelism,
                            outputLength, variant, version);
    }
    Bytes run(Argon2Kernel kernel) const {
        return argon2Hash(argon2KernelFunctions(kernel).fillSegment, password, salt, secret, associatedData,
                          memoryKiB, iterations, parallelism, outputLength, variant, version);
    }
};

// The inputs of RFC 9106, section 5: 32 KiB, 3 passes, 4 lanes, secret and associated data.
Call rfc9106(Variant variant) {
    Call c;
    c.secret = Bytes(8, 0x03);
    c.associatedData = Bytes(12, 0x04);
    c.memoryKiB = 32;
    c.iterations = 3;
    c.parallelism = 4;
    c.variant = variant;
    return c;
}

std::optional<Argon2::Error> errorOf(const Call& call) {
    try {
        call.run();
    } catch (const Argon2::Error& e) {
        return e;
    }
    return std::nullopt;
}

std::uint64_t physicalMemoryKiB() {
    return static_cast<std::uint64_t>(sysconf(_SC_PHYS_PAGES)) *
           static_cast<std::uint64_t>(sysconf(_SC_PAGE_SIZE)) / 1024;
}

std::vector<Argon2Kernel> availableKernels() {
    std::vector<Argon2Kernel> kernels;
    for (auto k : {Argon2Kernel::portable, Argon2Kernel::sse2, Argon2Kernel::avx2}) {
        if (argon2KernelAvailable(k)) kernels.push_back(k);
    }
    return kernels;
}

const char* nameOf(Argon2Kernel kernel) {
    switch (kernel) {
        case Argon2Kernel::portable:
            return "portable";
        case Argon2Kernel::sse2:
            return "sse2";
        case Argon2Kernel::avx2:
            return "avx2";
    }
    return "?";
}

}  // namespace

TEST(Argon2, Rfc9106TestVectors) {
    struct Case {
        Variant variant;
        const char* tag;
        const char* note;
    };
    const Case cases[] = {
        {Variant::d, "512b391b6f1162975371d30919734294f868e3be3984f3c1a13a4db9fabe4acb", "Argon2d"},
        {Variant::i, "c814d9d1dc7f37aa13f0d77f2494bda1c8de6b016dd388d29952a4c4672b6ce8", "Argon2i"},
        {Variant::id, "0d640df58d78766c08c037a34a8b53c9d01ef0452d75b65eb52520e96b01e659", "Argon2id"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toHex(rfc9106(c.variant).run()), c.tag) << c.note;
    }
}

// The reference implementation's Argon2i vectors ("password", "somesalt", 2 passes, one lane) in
// both versions: 64 MiB gives 16384 blocks per segment, so new address blocks are made every 128
// blocks, and the second pass shows 0x10 overwriting where 0x13 XORs.
TEST(Argon2, VersionsOneAndThirteen) {
    struct Case {
        std::uint32_t memoryKiB;
        std::uint32_t version;
        const char* tag;
    };
    const Case cases[] = {
        {65536, 0x10, "f6c4db4a54e2a370627aff3db6176b94a2a209a62c8e36152711802f7b30c694"},
        {65536, 0x13, "c1628832147d9720c5bd1cfd61367078729f6dfb6f8fea9ff98158e0d7816ed0"},
        {256, 0x10, "fd4dd83d762c49bdeaf57c47bdcd0c2f1babf863fdeb490df63ede9975fccf06"},
        {256, 0x13, "89e9029f4637b295beb027056a7336c414fadd43f6b208645281cb214a56452f"},
    };
    for (const auto& c : cases) {
        Call call;
        call.password = text("password");
        call.salt = text("somesalt");
        call.memoryKiB = c.memoryKiB;
        call.iterations = 2;
        call.variant = Variant::i;
        call.version = c.version;
        EXPECT_EQ(toHex(call.run()), c.tag) << c.memoryKiB << " KiB, version 0x" << std::hex << c.version;
    }
}

TEST(Argon2, EveryParameterEntersTheTag) {
    const Call base = rfc9106(Variant::id);
    const Bytes reference = base.run();
    struct Case {
        Call call;
        const char* note;
    };
    std::vector<Case> cases;
    auto add = [&](const char* note, auto change) {
        Call c = base;
        change(c);
        cases.push_back({c, note});
    };
    add("35 KiB fills the same 32 blocks as 32 KiB", [](Call& c) { c.memoryKiB = 35; });
    add("secret", [](Call& c) { c.secret.back() ^= 1; });
    add("associated data", [](Call& c) { c.associatedData.clear(); });
    add("password", [](Call& c) { c.password.push_back(0); });
    add("salt", [](Call& c) { c.salt.push_back(0); });
    add("parallelism", [](Call& c) { c.parallelism = 2; });
    add("variant", [](Call& c) { c.variant = Variant::d; });
    for (const auto& c : cases) {
        EXPECT_NE(c.call.run(), reference) << c.note;
    }

    // With one pass the versions fill the same way; they differ through H0 alone.
    Call onePass = base;
    onePass.iterations = 1;
    Call onePassOld = onePass;
    onePassOld.version = 0x10;
    EXPECT_NE(onePass.run(), onePassOld.run());
}

TEST(Argon2, AcceptsTheSmallestValues) {
    struct Case {
        Call call;
        std::size_t tagLength;
        const char* note;
    };
    Call shortest;
    shortest.outputLength = 4;
    Call leastMemory;
    leastMemory.parallelism = 4;
    leastMemory.memoryKiB = 32;
    Call shortSalt;
    shortSalt.salt = Bytes(8, 0x02);
    shortSalt.password.clear();
    Call longTag;
    longTag.outputLength = 1025;
    const Case cases[] = {
        {shortest, 4, "output length 4"},
        {leastMemory, 32, "8 KiB per lane"},
        {shortSalt, 32, "8-byte salt, empty password"},
        {longTag, 1025, "tag longer than a block"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call.run().size(), c.tagLength) << c.note;
    }
}

TEST(Argon2, RefusedParametersInTheirOrder) {
    struct Case {
        Call call;
        Argon2::Error error;
        const char* text;
    };
    std::vector<Case> cases;
    auto add = [&](auto change, Argon2::Error error, const char* text) {
        Call c;
        change(c);
        cases.push_back({c, error, text});
    };
    // The version is checked first, even with a parallelism of 0.
    add(
        [](Call& c) {
            c.version = 0x12;
            c.parallelism = 0;
        },
        Argon2::Error::unsupportedVersion(0x12), "Argon2: desteklenmeyen sürüm 0x12.");
    add([](Call& c) { c.version = 255; }, Argon2::Error::unsupportedVersion(255),
        "Argon2: desteklenmeyen sürüm 0xff.");
    add([](Call& c) { c.version = 0; }, Argon2::Error::unsupportedVersion(0),
        "Argon2: desteklenmeyen sürüm 0x0.");
    add(
        [](Call& c) {
            c.parallelism = 0;
            c.iterations = 0;
        },
        Argon2::Error::invalidParallelism(0), "Argon2: geçersiz paralellik değeri 0.");
    add([](Call& c) { c.parallelism = 16777216; }, Argon2::Error::invalidParallelism(16777216),
        "Argon2: geçersiz paralellik değeri 16777216.");
    add(
        [](Call& c) {
            c.iterations = 0;
            c.outputLength = 0;
        },
        Argon2::Error::invalidIterations(0), "Argon2: geçersiz tur sayısı 0.");
    add([](Call& c) { c.outputLength = 3; }, Argon2::Error::invalidOutputLength(3),
        "Argon2: geçersiz çıktı uzunluğu 3.");
    add(
        [](Call& c) {
            c.outputLength = -1;
            c.salt.clear();
        },
        Argon2::Error::invalidOutputLength(-1), "Argon2: geçersiz çıktı uzunluğu -1.");
    add(
        [](Call& c) {
            c.salt = Bytes(7, 0x02);
            c.memoryKiB = 1;
        },
        Argon2::Error::invalidSaltLength(7), "Argon2: tuz en az 8 byte olmalı (7).");
    add(
        [](Call& c) {
            c.parallelism = 4;
            c.memoryKiB = 31;
        },
        Argon2::Error::invalidMemory(31), "Argon2: geçersiz bellek değeri 31 KiB.");
    add([](Call& c) { c.memoryKiB = 0; }, Argon2::Error::invalidMemory(0),
        "Argon2: geçersiz bellek değeri 0 KiB.");

    for (const auto& c : cases) {
        const auto error = errorOf(c.call);
        ASSERT_TRUE(error.has_value()) << c.text;
        EXPECT_EQ(*error, c.error) << c.text;
        EXPECT_EQ(error->description(), c.text);
        EXPECT_STREQ(error->what(), c.text);
    }
}

TEST(Argon2, ErrorEqualityGoesByCaseAndPayload) {
    using E = Argon2::Error;
    EXPECT_EQ(E::invalidMemory(31), E::invalidMemory(31));
    EXPECT_NE(E::invalidMemory(31), E::invalidMemory(32));
    EXPECT_NE(E::invalidMemory(7), E::invalidSaltLength(7));
    EXPECT_EQ(E::allocationFailed(), E::allocationFailed());
    EXPECT_EQ(E::allocationFailed().description(), "Argon2: bellek ayrılamadı.");
    EXPECT_EQ(E::invalidOutputLength(-1).value(), -1);
    EXPECT_EQ(E::unsupportedVersion(0x12).kind(), E::Kind::unsupportedVersion);
}

// A memory size the machine cannot hold is refused up front instead of letting the kernel end
// the process part-way through the fill.
TEST(Argon2, MemoryBeyondThePhysicalIsRefused) {
    const std::uint64_t physical = physicalMemoryKiB();
    struct Case {
        std::uint32_t memoryKiB;
        std::uint32_t parallelism;
        const char* note;
    };
    std::vector<Case> cases = {{0xFFFFFFFF, 1, "largest memory value"}};
    if (physical + 1024 < 0xFFFFFFFF) {
        cases.push_back({static_cast<std::uint32_t>(physical + 1024), 1, "just above the physical memory"});
    }
    // The largest parallelism passes its check and needs 128 GiB at least.
    if (physical < 8ULL * 16777215) cases.push_back({8 * 16777215, 16777215, "largest parallelism"});
    for (const auto& c : cases) {
        if (c.memoryKiB <= physical) continue;
        Call call;
        call.memoryKiB = c.memoryKiB;
        call.parallelism = c.parallelism;
        const auto error = errorOf(call);
        ASSERT_TRUE(error.has_value()) << c.note;
        EXPECT_EQ(*error, Argon2::Error::allocationFailed()) << c.note;
    }
}

TEST(Argon2, VariantFromRawValue) {
    EXPECT_EQ(Argon2::variant(0), Variant::d);
    EXPECT_EQ(Argon2::variant(1), Variant::i);
    EXPECT_EQ(Argon2::variant(2), Variant::id);
    EXPECT_EQ(Argon2::variant(3), std::nullopt);
    EXPECT_EQ(Argon2::variant(0xFFFFFFFF), std::nullopt);
}

// The vector forms of G must give the portable form's result bit for bit, with and without
// XORing into the old block.
TEST(Argon2Kernels, CompressionMatchesThePortableForm) {
    std::mt19937_64 random(20240613);
    Argon2Block prev, ref, old;
    for (int round = 0; round < 50; ++round) {
        for (int k = 0; k < 128; ++k) {
            prev.words[k] = random();
            ref.words[k] = random();
            old.words[k] = random();
        }
        for (bool xorInto : {false, true}) {
            Argon2Block expected = old;
            argon2KernelFunctions(Argon2Kernel::portable).fillBlock(prev, ref, expected, xorInto);
            for (Argon2Kernel kernel : availableKernels()) {
                Argon2Block actual = old;
                argon2KernelFunctions(kernel).fillBlock(prev, ref, actual, xorInto);
                ASSERT_EQ(std::vector<std::uint64_t>(actual.words, actual.words + 128),
                          std::vector<std::uint64_t>(expected.words, expected.words + 128))
                    << nameOf(kernel) << (xorInto ? " xor" : "");
            }
        }
    }
}

TEST(Argon2Kernels, TagsMatchThePortableForm) {
    struct Case {
        Call call;
        const char* note;
    };
    std::vector<Case> cases;
    for (Variant v : {Variant::d, Variant::i, Variant::id}) cases.push_back({rfc9106(v), "RFC 9106 inputs"});
    Call addresses;
    addresses.variant = Variant::i;
    addresses.memoryKiB = 1100;  // 275 blocks per segment: three address blocks each
    addresses.iterations = 2;
    cases.push_back({addresses, "Argon2i, several address blocks per segment"});
    Call old;
    old.variant = Variant::id;
    old.version = 0x10;
    old.memoryKiB = 200;
    old.iterations = 3;
    old.parallelism = 3;
    cases.push_back({old, "Argon2id version 0x10, three lanes"});
    Call manyLanes;
    manyLanes.variant = Variant::d;
    manyLanes.memoryKiB = 8 * 37;
    manyLanes.iterations = 2;
    manyLanes.parallelism = 37;  // more lanes than most machines have cores
    cases.push_back({manyLanes, "Argon2d, 37 lanes"});
    Call large;
    large.variant = Variant::id;
    large.memoryKiB = 16 * 1024;  // large enough for helper threads to fault the matrix in
    large.parallelism = 4;
    cases.push_back({large, "Argon2id, 16 MiB, four lanes"});

    for (const auto& c : cases) {
        const Bytes expected = c.call.run(Argon2Kernel::portable);
        EXPECT_EQ(c.call.run(), expected) << c.note << ": preferred kernel";
        for (Argon2Kernel kernel : availableKernels()) {
            EXPECT_EQ(c.call.run(kernel), expected) << c.note << ": " << nameOf(kernel);
        }
    }
}

// Records each block matrix as it is released: its size and whether every byte was zero (never
// its content).
class ReleasedMatrices {
  public:
    struct Matrix {
        std::size_t size;
        bool zero;
    };

    ReleasedMatrices() {
        all().clear();
        argon2SetMatrixObserver([](ByteView matrix) {
            all().push_back({matrix.size(), std::all_of(matrix.begin(), matrix.end(),
                                                        [](std::uint8_t b) { return b == 0; })});
        });
    }
    ~ReleasedMatrices() { argon2SetMatrixObserver(nullptr); }
    ReleasedMatrices(const ReleasedMatrices&) = delete;
    ReleasedMatrices& operator=(const ReleasedMatrices&) = delete;

    std::vector<Matrix> take() { return std::exchange(all(), {}); }

  private:
    static std::vector<Matrix>& all() {
        static std::vector<Matrix> matrices;
        return matrices;
    }
};

// Nothing of the work on the password stays in the matrix it leaves: every block is zero when
// it is released, whether one thread or several filled the lanes, in either version.
TEST(Argon2, TheBlockMatrixIsWipedBeforeItIsReleased) {
    struct Case {
        Call call;
        std::size_t blocks;
        const char* note;
    };
    Call old = rfc9106(Variant::d);
    old.version = 0x10;
    old.parallelism = 3;
    old.memoryKiB = 200;  // rounded down to 192 blocks
    Call large;
    large.memoryKiB = 16 * 1024;  // large enough for helper threads to fault the matrix in
    large.parallelism = 4;
    const Case cases[] = {
        {Call{}, 32, "one lane"},
        {rfc9106(Variant::id), 32, "four lanes, three passes"},
        {old, 192, "version 0x10, three lanes"},
        {large, 16 * 1024, "16 MiB, four lanes"},
    };
    ReleasedMatrices released;
    for (const auto& c : cases) {
        for (Argon2Kernel kernel : availableKernels()) {
            c.call.run(kernel);
            const auto matrices = released.take();
            ASSERT_EQ(matrices.size(), 1u) << c.note << ": " << nameOf(kernel);
            EXPECT_EQ(matrices[0].size, c.blocks * sizeof(Argon2Block)) << c.note << ": " << nameOf(kernel);
            EXPECT_TRUE(matrices[0].zero) << c.note << ": " << nameOf(kernel);
        }
    }
}

TEST(Argon2DeathTest, OutputLengthBeyond32BitsStopsTheProgram) {
    Call call;
    call.outputLength = static_cast<std::ptrdiff_t>(0x100000000);
    EXPECT_DEATH(call.run(), "output length");
}
