#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "Support/Fixtures.h"
#include "Support/WholePayloads.h"

using testsupport::fromHex;
using testsupport::toHex;

namespace {

Bytes hmacKey() {
    Bytes key;
    for (int i = 1; i <= 64; ++i) key.push_back(static_cast<std::uint8_t>(i));
    return key;
}

Bytes payloadOf(std::size_t size) {
    Bytes payload(size);
    for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return payload;
}

Bytes readHMAC(const Bytes& stream, const Bytes& key = hmacKey()) {
    KdbxReader reader(stream);
    return KdbxCrypto::readHMACBlocks(reader, key);
}

Bytes readHashed(const Bytes& stream) {
    KdbxReader reader(stream);
    return KdbxCrypto::readHashedBlocks(reader);
}

}  // namespace

// Expected values computed independently (Python hashlib/hmac).
TEST(HMACBlocks, EmptyPayloadAndHeaderHMACKnownAnswers) {
    const Bytes empty = KdbxCrypto::writeHMACBlocks({}, hmacKey(), KdbxCrypto::defaultBlockSize);
    EXPECT_EQ(toHex(empty), "190dfdbe6d6f92f5af5582a66a1c42f04bebd169721e1dd482d039e7827cb7c700000000");
    EXPECT_EQ(readHMAC(empty), Bytes{});

    const std::string header = "header bytes";
    EXPECT_EQ(toHex(KdbxCrypto::headerHMAC(Bytes(header.begin(), header.end()), hmacKey())),
              "c8db27d30a78bb4a8663c9d37f8366d8dfe641a40e64309cf558e9450db10509");
}

TEST(HMACBlocks, RoundTripSplitsIntoBlocks) {
    struct Case {
        std::size_t payloadSize;
        std::size_t blockSize;
        std::size_t blocks;  // data blocks, terminator not counted
    };
    const std::vector<Case> cases = {
        {1, 4, 1}, {4, 4, 1}, {5, 4, 2}, {100, 7, 15}, {1048576, 1048576, 1}, {1048577, 1048576, 2},
    };
    for (const Case& c : cases) {
        const Bytes payload = payloadOf(c.payloadSize);
        const Bytes stream = KdbxCrypto::writeHMACBlocks(payload, hmacKey(), c.blockSize);
        EXPECT_EQ(stream.size(), c.payloadSize + 36 * (c.blocks + 1)) << c.payloadSize << "/" << c.blockSize;
        EXPECT_EQ(readHMAC(stream), payload) << c.payloadSize << "/" << c.blockSize;
    }
}

TEST(HMACBlocks, AWriterFedInPartsWritesTheSameStream) {
    const struct {
        std::size_t payloadSize;
        std::size_t blockSize;
        std::size_t part;
    } cases[] = {{0, 4, 1}, {10, 4, 1}, {10, 4, 3}, {12, 4, 4}, {12, 4, 5}, {100, 7, 100}, {3000, 1024, 999}};
    for (const auto& c : cases) {
        const Bytes payload = payloadOf(c.payloadSize);
        const Bytes key = hmacKey();
        Bytes out;
        KdbxCrypto::HMACBlockWriter writer(key, c.blockSize, out);
        for (std::size_t offset = 0; offset < payload.size(); offset += c.part) {
            writer.write(ByteView(payload).subspan(offset, std::min(c.part, payload.size() - offset)));
        }
        writer.finish();
        EXPECT_EQ(out, KdbxCrypto::writeHMACBlocks(payload, hmacKey(), c.blockSize))
            << c.payloadSize << "/" << c.blockSize << " in parts of " << c.part;
    }
}

TEST(HMACBlocks, TamperingNamesTheFailingBlock) {
    // 10 bytes in blocks of 4: block 0 at 0, block 1 at 40, block 2 (2 bytes) at 80, terminator at 118.
    const Bytes stream = KdbxCrypto::writeHMACBlocks(payloadOf(10), hmacKey(), 4);
    ASSERT_EQ(stream.size(), 154u);
    struct Case {
        Bytes stream;
        KdbxError expected;
        const char* note;
    };
    auto flipped = [&](std::size_t offset) {
        Bytes s = stream;
        s[offset] ^= 0x01;
        return s;
    };
    Bytes swapped(stream.begin() + 40, stream.begin() + 80);
    swapped.insert(swapped.end(), stream.begin(), stream.begin() + 40);
    swapped.insert(swapped.end(), stream.begin() + 80, stream.end());
    Bytes dropped(stream.begin(), stream.begin() + 40);
    dropped.insert(dropped.end(), stream.begin() + 80, stream.end());

    const std::vector<Case> cases = {
        {flipped(40 + 36), KdbxError::blockHmacMismatch(1), "data byte of block 1"},
        {flipped(32), KdbxError::blockHmacMismatch(0), "size byte of block 0"},
        {flipped(80), KdbxError::blockHmacMismatch(2), "MAC byte of block 2"},
        {flipped(118), KdbxError::blockHmacMismatch(3), "terminator MAC, data blocks sound"},
        {swapped, KdbxError::blockHmacMismatch(0), "blocks swapped"},
        {dropped, KdbxError::blockHmacMismatch(1), "block dropped"},
        {Bytes(stream.begin(), stream.begin() + 118), shortRead(32, 0), "terminator cut off"},
        {Bytes(stream.begin(), stream.begin() + 50), shortRead(32, 10), "cut inside a block"},
        {fromHex(std::string(64, '0') + "FFFFFFFF"), shortRead(4294967295, 0), "4 GiB block size"},
    };
    for (const Case& c : cases) EXPECT_EQ(thrownKdbxError([&] { readHMAC(c.stream); }), c.expected) << c.note;

    Bytes otherKey = hmacKey();
    otherKey[63] ^= 0x80;
    EXPECT_EQ(thrownKdbxError([&] { readHMAC(stream, otherKey); }), KdbxError::blockHmacMismatch(0));
}

TEST(HMACBlocks, StopsAtTheTerminator) {
    Bytes stream = KdbxCrypto::writeHMACBlocks(payloadOf(10), hmacKey(), 4);
    const std::size_t size = stream.size();
    stream.insert(stream.end(), {0xDE, 0xAD});
    KdbxReader reader(stream);
    EXPECT_EQ(KdbxCrypto::readHMACBlocks(reader, hmacKey()), payloadOf(10));
    EXPECT_EQ(reader.offset(), size);
}

TEST(HMACBlocks, BlockKeyAndHeaderKeyFollowTheFormula) {
    const Bytes key = hmacKey();
    Bytes reserved(8, 0xFF);
    reserved.insert(reserved.end(), key.begin(), key.end());
    EXPECT_EQ(KdbxCrypto::headerHMAC(fromHex("0102"), key),
              KdbxCrypto::hmacSha256(KdbxCrypto::sha512(reserved), fromHex("0102")));
    Bytes first = fromHex("0500000000000000");
    first.insert(first.end(), key.begin(), key.end());
    EXPECT_EQ(KdbxCrypto::blockKey(5, key), KdbxCrypto::sha512(first));
}

TEST(HashedBlocks, RoundTrip) {
    for (std::size_t size : {0, 1, 4, 10, 1000}) {
        const Bytes stream = testsupport::writeHashedBlocks(payloadOf(size), 4);
        EXPECT_EQ(readHashed(stream), payloadOf(size)) << size;
    }
    const Bytes empty = testsupport::writeHashedBlocks({}, 4);
    EXPECT_EQ(toHex(empty), std::string(8 + 64 + 8, '0'));
}

TEST(HashedBlocks, BrokenStreamsFail) {
    const Bytes stream = testsupport::writeHashedBlocks(payloadOf(6), 4);  // blocks of 44, 42, terminator 40
    ASSERT_EQ(stream.size(), 126u);
    auto changed = [&](std::size_t offset, std::uint8_t value) {
        Bytes s = stream;
        s[offset] = value;
        return s;
    };
    struct Case {
        Bytes stream;
        KdbxError expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {changed(0, 1), KdbxError::corruptedData("blok sırası bozuk (1 != 0)"), "first block has index 1"},
        {changed(44, 5), KdbxError::corruptedData("blok sırası bozuk (5 != 1)"), "second block index 5"},
        {changed(86 + 4 + 31, 1), KdbxError::corruptedData("sonlandırıcı bloğun hash'i sıfır değil"),
         "terminator hash not zero"},
        {changed(44 + 40, stream[84] ^ 0xFF), KdbxError::blockHmacMismatch(1), "data of block 1 changed"},
        {Bytes(stream.begin(), stream.begin() + 86), shortRead(4, 0), "terminator missing"},
        {Bytes(stream.begin(), stream.begin() + 50), shortRead(32, 2), "cut inside a block"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(thrownKdbxError([&] { readHashed(c.stream); }), c.expected) << c.note;
}

TEST(HashedBlocks, ZeroSizeBlockEndsTheStream) {
    Bytes stream = testsupport::writeHashedBlocks(payloadOf(3), 4);
    const std::size_t size = stream.size();
    const Bytes more = testsupport::writeHashedBlocks(payloadOf(5), 4);
    stream.insert(stream.end(), more.begin(), more.end());
    KdbxReader reader(stream);
    EXPECT_EQ(KdbxCrypto::readHashedBlocks(reader), payloadOf(3));
    EXPECT_EQ(reader.offset(), size);
}
