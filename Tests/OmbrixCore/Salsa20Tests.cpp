#include <gtest/gtest.h>

#include <vector>

#include "OmbrixCore/Crypto/Salsa20.h"
#include "Support/Fixtures.h"
#include "Support/StreamTesting.h"

using testsupport::fromHex;
using testsupport::processInPieces;
using testsupport::slice;
using testsupport::toHex;

// Starts a stream at a chosen block, which the public interface (block 0 only) cannot.
struct Salsa20StreamTesting {
    static Bytes keystreamAt(ByteView key, ByteView nonce, std::uint64_t block, std::size_t length) {
        Salsa20Stream stream(key, nonce, block);
        return stream.process(Bytes(length));
    }
};

namespace {

Bytes keystream(ByteView key, ByteView nonce, std::size_t length) {
    Salsa20Stream stream(key, nonce);
    return stream.process(Bytes(length));
}

Bytes patterned(std::size_t length) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 13 + 1);
    return data;
}

}  // namespace

TEST(Salsa20Stream, ReproducesPublishedKeystreams) {
    // Salsa20/20 "Set 1, vector 0": key 80 00 .. 00, nonce 0; bytes 0-63, 192-255, 256-319, 448-511.
    Bytes key256(32, 0);
    key256[0] = 0x80;
    const Bytes stream256 = keystream(key256, Bytes(8, 0), 512);
    EXPECT_EQ(toHex(slice(stream256, 0, 64)),
              "e3be8fdd8beca2e3ea8ef9475b29a6e7003951e1097a5c38d23b7a5fad9f6844"
              "b22c97559e2723c7cbbd3fe4fc8d9a0744652a83e72a9c461876af4d7ef1a117");
    EXPECT_EQ(toHex(slice(stream256, 192, 64)),
              "57be81f47b17d9ae7c4ff15429a73e10acf250ed3a90a93c711308a74c6216a9"
              "ed84cd126da7f28e8abf8bb63517e1ca98e712f4fb2e1a6aed9fdc73291faa17");
    EXPECT_EQ(toHex(slice(stream256, 256, 64)),
              "958211c4ba2ebd5838c635edb81f513a91a294e194f1c039aeec657dce40aa7e"
              "7c0af57cacefa40c9f14b71a4b3456a63e162ec7d8d10b8ffb1810d71001b618");
    EXPECT_EQ(toHex(slice(stream256, 448, 64)),
              "696afcfd0cddcc83c7e77f11a649d79acdc3354e9635ff137e929933a0bd6f53"
              "77efa105a3a4266b7c0d089d08f1e855cc32b15b93784a36e56a76cc64bc8477");

    Bytes key128(16, 0);
    key128[0] = 0x80;
    EXPECT_EQ(toHex(keystream(key128, Bytes(8, 0), 64)),
              "4dfa5e481da23ea09a31022050859936da52fcee218005164f267cb65f5cfd7f"
              "2b4f97e0ff16924a52df269515110a07f9e460bc65ef95da58f740b7d1dbb0aa");
}

TEST(Salsa20Stream, ReproducesTheExpansionExamples) {
    // The examples of the Salsa20 expansion function in Bernstein's paper: k0 = 1..16, k1 = 201..216 and
    // n = 101..116, i.e. nonce 101..108 and block counter 109..116 (little-endian).
    Bytes k0(16), key32(32), nonce(8);
    for (std::uint8_t i = 0; i < 16; ++i) {
        k0[i] = static_cast<std::uint8_t>(1 + i);
        key32[i] = k0[i];
        key32[16 + i] = static_cast<std::uint8_t>(201 + i);
    }
    for (std::uint8_t i = 0; i < 8; ++i) nonce[i] = static_cast<std::uint8_t>(101 + i);
    const std::uint64_t block = 0x74737271706f6e6dull;  // bytes 109..116

    const Bytes expected32 = {69,  37,  68,  39,  41,  15,  107, 193, 255, 139, 122, 6,   170, 233, 217, 98,
                              89,  144, 182, 106, 21,  51,  200, 65,  239, 49,  222, 34,  215, 114, 40,  126,
                              104, 197, 7,   225, 197, 153, 31,  2,   102, 78,  76,  176, 84,  245, 246, 184,
                              177, 160, 133, 130, 6,   72,  149, 119, 192, 195, 132, 236, 234, 103, 246, 74};
    const Bytes expected16 = {39,  173, 46,  248, 30,  200, 82,  17,  48,  67, 254, 239, 37,  18,  13,  247,
                              241, 200, 61,  144, 10,  55,  50,  185, 6,   47, 246, 253, 143, 86,  187, 225,
                              134, 85,  110, 246, 161, 163, 43,  235, 231, 94, 171, 51,  145, 214, 112, 29,
                              14,  232, 5,   16,  151, 140, 183, 141, 171, 9,  122, 181, 104, 182, 177, 193};
    EXPECT_EQ(toHex(Salsa20StreamTesting::keystreamAt(key32, nonce, block, 64)), toHex(expected32));
    EXPECT_EQ(toHex(Salsa20StreamTesting::keystreamAt(k0, nonce, block, 64)), toHex(expected16));
}

TEST(Salsa20Stream, ShortKeyIsNotTheSameAsTheKeyWrittenTwice) {
    // Same key words, different constant: "expand 16-byte k" against "expand 32-byte k".
    const Bytes k0 = fromHex("0102030405060708090a0b0c0d0e0f10");
    Bytes doubled = k0;
    doubled.insert(doubled.end(), k0.begin(), k0.end());
    const Bytes nonce = Salsa20Stream::kdbxNonce();
    EXPECT_NE(keystream(k0, nonce, 64), keystream(doubled, nonce, 64));
}

TEST(Salsa20Stream, PiecesOfAnySizeGiveTheSameBytesAsOneCall) {
    const Bytes key = fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const Bytes nonce = Salsa20Stream::kdbxNonce();
    const Bytes input = patterned(300);
    Salsa20Stream whole(key, nonce);
    const Bytes expected = whole.process(input);

    const std::vector<std::vector<std::size_t>> splits = {
        {1, 63, 36, 200}, {0, 1, 0, 63, 36, 0, 200},
        {64, 236},        {3, 5, 7, 11, 13, 17, 19, 23, 29, 173},
        {65, 127, 108},   {299, 1},
    };
    for (const auto& split : splits) {
        Salsa20Stream stream(key, nonce);
        EXPECT_EQ(processInPieces(stream, input, split), expected)
            << "split starting " << split.front() << ", " << split.size() << " pieces";
    }
}

TEST(Salsa20Stream, EncryptingTwiceGivesTheInputBack) {
    const Bytes key(32, 0x33);
    const Bytes input = patterned(777);
    Salsa20Stream encryptor(key, Salsa20Stream::kdbxNonce());
    Salsa20Stream decryptor(key, Salsa20Stream::kdbxNonce());
    const Bytes ciphertext = encryptor.process(input);
    EXPECT_NE(ciphertext, input);
    EXPECT_EQ(decryptor.process(ciphertext), input);
}

TEST(Salsa20Stream, CounterCarriesIntoItsHighWord) {
    const Bytes key(32, 0x21);
    const Bytes nonce = Salsa20Stream::kdbxNonce();
    const Bytes twoBlocks = Salsa20StreamTesting::keystreamAt(key, nonce, 0xFFFFFFFFull, 128);
    const Bytes block2to32 = Salsa20StreamTesting::keystreamAt(key, nonce, 0x100000000ull, 64);
    EXPECT_EQ(slice(twoBlocks, 64, 64), block2to32);
    EXPECT_NE(block2to32, keystream(key, nonce, 64));
}
