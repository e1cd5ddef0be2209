#include <gtest/gtest.h>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Crypto/Salsa20.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;
using testsupport::toHex;

namespace {

Bytes sequence(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i);
    return out;
}

}  // namespace

TEST(InnerStream, NullStreamReturnsItsInputWhateverTheKey) {
    for (const Bytes& key : {Bytes{}, sequence(64)}) {
        auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::none, key);
        const Bytes data = sequence(37);
        EXPECT_EQ(stream->process(data), data);
        EXPECT_EQ(stream->process(data), data);
    }
}

// Keystream of ChaCha20 (RFC 8439, counter 0) under the first 32 bytes of SHA-512(key) and the
// 12 bytes after them, computed independently.
TEST(InnerStream, ChaCha20KeyedBySha512OfTheKey) {
    const struct {
        Bytes key;
        std::string keystream;
        const char* note;
    } cases[] = {
        {sequence(64), "8ce8bc610ac05ff2e3dd88b49a1404c2844f1480", "64-byte key"},
        {Bytes{}, "6715bc3a46bcc0b9", "empty key"},
    };
    for (const auto& c : cases) {
        auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::chaCha20, c.key);
        EXPECT_EQ(toHex(stream->process(Bytes(c.keystream.size() / 2, 0))), c.keystream) << c.note;
    }
}

TEST(InnerStream, ValuesInTurnContinueTheKeystream) {
    const Bytes key = sequence(64);
    for (auto id : {KdbxCrypto::InnerStreamID::chaCha20, KdbxCrypto::InnerStreamID::salsa20}) {
        auto whole = KdbxCrypto::makeInnerStream(id, key);
        auto pieces = KdbxCrypto::makeInnerStream(id, key);
        const Bytes data = sequence(4);
        Bytes joined = pieces->process(ByteView(data).first(2));
        const Bytes rest = pieces->process(ByteView(data).subspan(2));
        joined.insert(joined.end(), rest.begin(), rest.end());
        EXPECT_EQ(joined, whole->process(data));

        // The same key gives the same keystream: one stream decrypts what the other encrypted.
        auto encrypt = KdbxCrypto::makeInnerStream(id, key);
        auto decrypt = KdbxCrypto::makeInnerStream(id, key);
        const Bytes secret = {'g', 'i', 'z', 'l', 'i'};
        EXPECT_EQ(decrypt->process(encrypt->process(secret)), secret);
    }
}

TEST(InnerStream, Salsa20KeyedBySha256OfTheKeyWithThePublishedNonce) {
    EXPECT_EQ(toHex(KdbxCrypto::salsaNonce()), "e830094b97205d2a");
    for (const Bytes& key : {Bytes{}, sequence(32), sequence(64)}) {
        auto stream = KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::salsa20, key);
        Salsa20Stream reference(KdbxCrypto::sha256(key), fromHex("e830094b97205d2a"));
        const Bytes zeros(100, 0);
        EXPECT_EQ(stream->process(zeros), reference.process(zeros));
    }
}

TEST(InnerStream, UnsupportedIdentifiersAreRefused) {
    EXPECT_EQ(
        thrownKdbxError([] { KdbxCrypto::makeInnerStream(KdbxCrypto::InnerStreamID::arcFourVariant, {}); }),
        KdbxError::unsupportedCipher("ARCFour inner stream"));
    EXPECT_EQ(thrownKdbxError([] { KdbxCrypto::makeInnerStream(std::uint32_t{1}, sequence(32)); }),
              KdbxError::unsupportedCipher("ARCFour inner stream"));
    // An identifier the format does not know is refused, never read as some other stream.
    for (std::uint32_t raw : {4u, 5u, 7u, 4294967295u}) {
        EXPECT_FALSE(KdbxCrypto::innerStreamID(raw).has_value());
        EXPECT_EQ(thrownKdbxError([raw] { KdbxCrypto::makeInnerStream(raw, sequence(32)); }),
                  KdbxError::unsupportedCipher("inner stream " + std::to_string(raw)));
    }
    EXPECT_EQ(KdbxCrypto::innerStreamID(3), KdbxCrypto::InnerStreamID::chaCha20);
}
