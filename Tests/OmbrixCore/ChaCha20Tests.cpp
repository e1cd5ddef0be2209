#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OmbrixCore/Crypto/ChaCha20.h"
#include "Support/Fixtures.h"
#include "Support/StreamTesting.h"

using testsupport::fromHex;
using testsupport::processInPieces;
using testsupport::slice;
using testsupport::toHex;

namespace {

Bytes sequenceKey() {
    Bytes key(32);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
    return key;
}

Bytes patterned(std::size_t length) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return data;
}

Bytes keystream(ByteView key, ByteView nonce, std::uint32_t counter, std::size_t length) {
    ChaCha20Stream stream(key, nonce, counter);
    return stream.process(Bytes(length));
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(ChaCha20Stream, ReproducesRFC8439BlockExample) {
    // RFC 8439, section 2.3.2: block counter 1.
    const Bytes expected = fromHex(
        "10f1e7e4d13b5915500fdd1fa32071c4 c7d1f4c733c068030422aa9ac3d46c4e"
        "d2826446079faa0914c2d705d98b02a2 b5129cd1de164eb9cbd083e8a2503c4e");
    EXPECT_EQ(toHex(keystream(sequenceKey(), fromHex("000000090000004a00000000"), 1, 64)), toHex(expected));
}

TEST(ChaCha20Stream, ReproducesRFC8439EncryptionExample) {
    // RFC 8439, section 2.4.2: 114 bytes from block 1 on.
    const std::string text =
        "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, "
        "sunscreen would be it.";
    const Bytes expected = fromHex(
        "6e2e359a2568f98041ba0728dd0d6981 e97e7aec1d4360c20a27afccfd9fae0b"
        "f91b65c5524733ab8f593dabcd62b357 1639d624e65152ab8f530c359f0861d8"
        "07ca0dbf500d6a6156a38e088a22b65e 52bc514d16ccf806818ce91ab7793736"
        "5af90bbf74a35be6b40b8eedf2785e42 874d");
    ChaCha20Stream stream(sequenceKey(), fromHex("000000000000004a00000000"), 1);
    EXPECT_EQ(toHex(stream.process(Bytes(text.begin(), text.end()))), toHex(expected));
}

TEST(ChaCha20Stream, EightByteNonceUsesTheOriginalLayout) {
    // The original ChaCha20 with a 64-bit nonce: key 00..1f, nonce 00..07, counter 0.
    const Bytes expected = fromHex(
        "f798a189f195e66982105ffb640bb775 7f579da31602fc93ec01ac56f85ac3c1"
        "34a4547b733b46413042c94400491769 05d3be59ea1c53f15916155c2be8241a"
        "38008b9a26bc35941e2444177c8ade66 89de95264986d95889fb60e84629c9bd"
        "9a5acb1cc118be563eb9b3a4a472f82e 09a7e778492b562ef7130e88dfe031c7");
    EXPECT_EQ(toHex(keystream(sequenceKey(), fromHex("0001020304050607"), 0, 128)), toHex(expected));
}

TEST(ChaCha20Stream, PiecesOfAnySizeGiveTheSameBytesAsOneCall) {
    const Bytes key = sequenceKey();
    const Bytes nonce = fromHex("0102030405060708090a0b0c");
    const Bytes input = patterned(300);
    ChaCha20Stream whole(key, nonce, 0);
    const Bytes expected = whole.process(input);

    const std::vector<std::vector<std::size_t>> splits = {
        {30, 34, 36, 200}, {0, 30, 0, 34, 36, 0, 200},
        {64, 236},         {1, 63, 1, 63, 172},
        {65, 127, 108},    {128, 172},
        {299, 1},
    };
    for (const auto& split : splits) {
        ChaCha20Stream stream(key, nonce, 0);
        EXPECT_EQ(processInPieces(stream, input, split), expected)
            << "split starting " << split.front() << ", " << split.size() << " pieces";
    }
}

TEST(ChaCha20Stream, ABlockEndingACallIsFollowedByTheNextBlock) {
    const Bytes key = sequenceKey();
    const Bytes nonce = fromHex("000000090000004a00000000");
    ChaCha20Stream stream(key, nonce, 0);
    EXPECT_EQ(stream.process(Bytes(64)), keystream(key, nonce, 0, 64));
    EXPECT_TRUE(stream.process({}).empty());
    EXPECT_EQ(stream.process(Bytes(1)), keystream(key, nonce, 1, 1));
}

TEST(ChaCha20Stream, EncryptingTwiceGivesTheInputBack) {
    const Bytes key = sequenceKey();
    const Bytes nonce = fromHex("a0a1a2a3a4a5a6a7a8a9aaab");
    const Bytes input = patterned(1000);
    ChaCha20Stream encryptor(key, nonce, 0);
    ChaCha20Stream decryptor(key, nonce, 0);
    const Bytes ciphertext = encryptor.process(input);
    EXPECT_NE(ciphertext, input);
    EXPECT_EQ(decryptor.process(ciphertext), input);
}

TEST(ChaCha20Stream, CounterWrapsAsItsLayoutSays) {
    const Bytes key = sequenceKey();
    const Bytes nonce8 = fromHex("0001020304050607");

    // 12-byte nonce: after block 4294967295 comes block 0 with the same nonce.
    const Bytes nonce12 = fromHex("000000090000004a00000000");
    const Bytes wrapped = keystream(key, nonce12, 0xFFFFFFFFu, 128);
    EXPECT_EQ(slice(wrapped, 64, 64), keystream(key, nonce12, 0, 64));

    // 8-byte nonce: the carry goes into word 13, which the 12-byte layout holds as its first
    // nonce word; so the second block equals counter 0 under nonce 01000000 || nonce8.
    const Bytes carried = keystream(key, nonce8, 0xFFFFFFFFu, 128);
    EXPECT_EQ(slice(carried, 0, 64), keystream(key, concat(fromHex("00000000"), nonce8), 0xFFFFFFFFu, 64));
    EXPECT_EQ(slice(carried, 64, 64), keystream(key, concat(fromHex("01000000"), nonce8), 0, 64));
    EXPECT_NE(slice(carried, 64, 64), keystream(key, nonce8, 0, 64));
}
