#include <gtest/gtest.h>

#include <string>

#include "OmbrixCore/Crypto/Blake2b.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;
using testsupport::toHex;

namespace {

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The test-data generator of RFC 7693, Appendix E (a Fibonacci sequence, top byte of each term).
Bytes selftestSequence(std::size_t length, std::uint32_t seed) {
    Bytes out(length);
    std::uint32_t a = 0xDEAD4BAD * seed;
    std::uint32_t b = 1;
    for (auto& byte : out) {
        const std::uint32_t t = a + b;
        a = b;
        b = t;
        byte = static_cast<std::uint8_t>(t >> 24);
    }
    return out;
}

Bytes le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes first(const Bytes& b, std::size_t n) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace

TEST(Blake2b, PublishedDigests) {
    struct Case {
        std::string message;
        std::string digest;
        const char* note;
    };
    const Case cases[] = {
        {"abc",
         "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de4533cc9518d"
         "38aa8"
         "dbf1925ab92386edd4009923",
         "RFC 7693 Appendix A"},
        {"",
         "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419d25e1031afee585313896444934eb04b903"
         "a685b"
         "1448b755d56f701afe9be2ce",
         "BLAKE2b-512 of the empty string"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toHex(Blake2b::hash(text(c.message), 64)), c.digest) << c.note;
    }
}

// RFC 7693, Appendix E: unkeyed and keyed digests of lengths 20 to 64 over messages of 0, 3,
// 128, 129, 255 and 1024 bytes, all fed into one 32-byte digest. Covers the full-last-block and
// key-block rules and the counter.
TEST(Blake2b, Rfc7693SelfTest) {
    const std::size_t digestLengths[] = {20, 32, 48, 64};
    const std::size_t messageLengths[] = {0, 3, 128, 129, 255, 1024};
    Blake2b::State grand(32);
    for (std::size_t outlen : digestLengths) {
        for (std::size_t inlen : messageLengths) {
            const Bytes message = selftestSequence(inlen, static_cast<std::uint32_t>(inlen));
            grand.update(Blake2b::hash(message, static_cast<std::ptrdiff_t>(outlen)));
            const Bytes key = selftestSequence(outlen, static_cast<std::uint32_t>(outlen));
            grand.update(Blake2b::hash(message, static_cast<std::ptrdiff_t>(outlen), key));
        }
    }
    EXPECT_EQ(toHex(grand.finalize()), "c23a7800d98123bd10f506c61e29da5603d763b8bbad2e737f5e765a7bccd475");
}

TEST(Blake2b, ShortDigestIsNotAPrefixOfTheLongOne) {
    const Bytes message = text("abc");
    const Bytes full = Blake2b::hash(message, 64);
    for (std::ptrdiff_t n : {1, 20, 32, 63}) {
        const Bytes shorter = Blake2b::hash(message, n);
        EXPECT_EQ(shorter.size(), static_cast<std::size_t>(n));
        EXPECT_NE(shorter, first(full, static_cast<std::size_t>(n))) << n;
    }
}

TEST(Blake2b, PiecewiseUpdatesMatchOneShot) {
    const Bytes message = selftestSequence(700, 7);
    const Bytes key = selftestSequence(64, 64);
    struct Case {
        std::vector<std::size_t> pieces;
        const char* note;
    };
    const Case cases[] = {
        {{700}, "whole"},
        {{0, 128, 0, 128, 444, 0}, "block-sized pieces with empty ones"},
        {{1, 127, 1, 255, 316}, "pieces across block edges"},
        {{256, 256, 188}, "ends on a partial block"},
    };
    for (const auto& c : cases) {
        for (bool keyed : {false, true}) {
            Blake2b::State state(48, keyed ? ByteView(key) : ByteView());
            std::size_t at = 0;
            for (std::size_t size : c.pieces) {
                state.update(ByteView(message).subspan(at, size));
                at += size;
            }
            ASSERT_EQ(at, message.size()) << c.note;
            const Bytes expected = keyed ? Blake2b::hash(message, 48, key) : Blake2b::hash(message, 48);
            EXPECT_EQ(state.finalize(), expected) << c.note << (keyed ? " (keyed)" : "");
        }
    }
}

TEST(Blake2b, EmptyKeyIsTheUnkeyedHash) {
    const Bytes message = text("Ombrix");
    EXPECT_EQ(Blake2b::hash(message, 32, {}), Blake2b::hash(message, 32));
    EXPECT_NE(Blake2b::hash(message, 32, text("k")), Blake2b::hash(message, 32));
}

// H' (RFC 9106, 3.3) built by hand from the definition for the lengths around its seams.
TEST(Blake2b, LongHashFollowsItsDefinition) {
    const Bytes data = text("Argon2 H'");
    struct Case {
        std::uint32_t length;
        const char* note;
    };
    const Case cases[] = {
        {1, "shortest"},          {32, "short"},        {64, "one digest"},       {65, "two pieces"},
        {96, "full last digest"}, {97, "three pieces"}, {1024, "an Argon2 block"}};
    for (const auto& c : cases) {
        const Bytes input = concat(le32(c.length), data);
        Bytes expected;
        if (c.length <= 64) {
            expected = Blake2b::hash(input, c.length);
        } else {
            const std::uint32_t r = (c.length + 31) / 32 - 2;
            Bytes v = Blake2b::hash(input, 64);
            expected = first(v, 32);
            for (std::uint32_t i = 2; i <= r; ++i) {
                v = Blake2b::hash(v, 64);
                expected = concat(expected, first(v, 32));
            }
            expected = concat(expected, Blake2b::hash(v, c.length - 32 * r));
        }
        const Bytes actual = Blake2b::longHash(data, c.length);
        EXPECT_EQ(actual.size(), c.length) << c.note;
        EXPECT_EQ(actual, expected) << c.note;
    }
}

TEST(Blake2bDeathTest, LengthsOutsideTheContractStopTheProgram) {
    const Bytes message = text("abc");
    const Bytes longKey(65, 1);
    EXPECT_DEATH(Blake2b::hash(message, 0), "digest length");
    EXPECT_DEATH(Blake2b::hash(message, 65), "digest length");
    EXPECT_DEATH(Blake2b::hash(message, 32, longKey), "key");
    EXPECT_DEATH(Blake2b::longHash(message, 0), "H' length");
    EXPECT_DEATH(Blake2b::longHash(message, 0x100000000), "H' length");
}
