#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Crypto/AESCipher.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"
#include "Support/Fixtures.h"
#include "Support/WholePayloads.h"

using testsupport::toHex;

namespace {

const Bytes key(32, 0x01);

}  // namespace

TEST(PayloadCipher, KnownAnswersOfBothCiphers) {
    const Bytes text = {'O', 'm', 'b', 'r', 'i', 'x'};
    const Bytes nonce(12, 0x02);
    const Bytes chacha = testsupport::encryptPayload(text, KdbxCipher::chacha20, key, nonce);
    EXPECT_EQ(toHex(chacha), "498c9aa403bd");
    EXPECT_EQ(testsupport::decryptPayload(chacha, KdbxCipher::chacha20, key, nonce), text);

    const Bytes iv(16, 0x02);
    const Bytes block(16, 0x10);
    const Bytes aes = testsupport::encryptPayload(block, KdbxCipher::aes256, key, iv);
    ASSERT_EQ(aes.size(), 32u);  // a whole block of padding follows
    EXPECT_EQ(toHex(Bytes(aes.begin(), aes.begin() + 16)), "9cdae7ea9afe33dfde1bfd93ddf141fb");
    EXPECT_EQ(testsupport::decryptPayload(aes, KdbxCipher::aes256, key, iv), block);
    EXPECT_EQ(testsupport::encryptPayload({}, KdbxCipher::aes256, key, iv).size(), 16u);
}

TEST(PayloadCipher, WrongIVLengthsAreRefusedBeforeTheCipherRuns) {
    const struct {
        KdbxCipher cipher;
        std::size_t ivLength;
        const char* detail;
    } cases[] = {
        {KdbxCipher::chacha20, 11, "ChaCha20 nonce 12 bayt olmalı"},
        {KdbxCipher::chacha20, 16, "ChaCha20 nonce 12 bayt olmalı"},
        {KdbxCipher::aes256, 12, "AES IV 16 bayt olmalı"},
        {KdbxCipher::aes256, 0, "AES IV 16 bayt olmalı"},
    };
    for (const auto& c : cases) {
        const Bytes iv(c.ivLength, 0);
        // The AES case uses data that is no whole block: the IV check must come first.
        const Bytes data(5, 0);
        EXPECT_EQ(thrownKdbxError([&] { testsupport::decryptPayload(data, c.cipher, key, iv); }),
                  KdbxError::corruptedData(c.detail));
        EXPECT_EQ(thrownKdbxError([&] { testsupport::encryptPayload(data, c.cipher, key, iv); }),
                  KdbxError::corruptedData(c.detail));
    }
}

namespace {

// The payload run through a PayloadCipherStream in parts of `part` bytes.
Bytes inParts(const Bytes& data, KdbxCipher cipher, const Bytes& iv,
              KdbxCrypto::PayloadCipherStream::Direction d, std::size_t part) {
    KdbxCrypto::PayloadCipherStream stream(cipher, key, iv, d);
    Bytes out;
    for (std::size_t offset = 0; offset < data.size(); offset += part) {
        stream.update(ByteView(data).subspan(offset, std::min(part, data.size() - offset)), out);
    }
    stream.finish(out);
    return out;
}

}  // namespace

TEST(PayloadCipherStream, PartsGiveWhatTheWholePayloadGives) {
    using Direction = KdbxCrypto::PayloadCipherStream::Direction;
    Bytes data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31);
    const struct {
        KdbxCipher cipher;
        Bytes iv;
    } ciphers[] = {{KdbxCipher::aes256, Bytes(16, 7)}, {KdbxCipher::chacha20, Bytes(12, 7)}};
    for (const auto& c : ciphers) {
        const Bytes whole = testsupport::encryptPayload(data, c.cipher, key, c.iv);
        for (const std::size_t part : {1, 15, 16, 17, 1000}) {
            EXPECT_EQ(inParts(data, c.cipher, c.iv, Direction::encrypt, part), whole) << part;
            EXPECT_EQ(inParts(whole, c.cipher, c.iv, Direction::decrypt, part), data) << part;
        }
    }
}

TEST(PayloadCipherStream, AnAESPayloadWithABrokenEndFailsAtTheEnd) {
    using Direction = KdbxCrypto::PayloadCipherStream::Direction;
    const Bytes iv(16, 7);
    const Bytes sealed = testsupport::encryptPayload(Bytes(40, 1), KdbxCipher::aes256, key, iv);
    const Bytes cut(sealed.begin(), sealed.end() - 3);  // no whole blocks
    Bytes badPadding = sealed;
    badPadding[badPadding.size() - 17] ^= 0xFF;  // changes the last block's plaintext
    for (const Bytes* broken : std::initializer_list<const Bytes*>{&cut, &badPadding}) {
        for (const std::size_t part : {5, 16, 100}) {
            try {
                inParts(*broken, KdbxCipher::aes256, iv, Direction::decrypt, part);
                ADD_FAILURE() << "no error, parts of " << part;
            } catch (const AESCipher::Error& error) {
                EXPECT_EQ(error, AESCipher::Error::cryptoFailure(AESCipher::Error::finalStatus));
            }
            // The whole-payload operation fails alike.
            EXPECT_THROW(testsupport::decryptPayload(*broken, KdbxCipher::aes256, key, iv), AESCipher::Error);
        }
    }
}
