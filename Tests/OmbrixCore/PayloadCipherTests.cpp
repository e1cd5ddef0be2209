#include <gtest/gtest.h>

#include "KdbxErrorTesting.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"
#include "Support/Fixtures.h"

using testsupport::toHex;

namespace {

const Bytes key(32, 0x01);

}  // namespace

TEST(PayloadCipher, KnownAnswersOfBothCiphers) {
    const Bytes text = {'O', 'm', 'b', 'r', 'i', 'x'};
    const Bytes nonce(12, 0x02);
    const Bytes chacha = KdbxCrypto::encryptPayload(text, KdbxCipher::chacha20, key, nonce);
    EXPECT_EQ(toHex(chacha), "498c9aa403bd");
    EXPECT_EQ(KdbxCrypto::decryptPayload(chacha, KdbxCipher::chacha20, key, nonce), text);

    const Bytes iv(16, 0x02);
    const Bytes block(16, 0x10);
    const Bytes aes = KdbxCrypto::encryptPayload(block, KdbxCipher::aes256, key, iv);
    ASSERT_EQ(aes.size(), 32u);  // a whole block of padding follows
    EXPECT_EQ(toHex(Bytes(aes.begin(), aes.begin() + 16)), "9cdae7ea9afe33dfde1bfd93ddf141fb");
    EXPECT_EQ(KdbxCrypto::decryptPayload(aes, KdbxCipher::aes256, key, iv), block);
    EXPECT_EQ(KdbxCrypto::encryptPayload({}, KdbxCipher::aes256, key, iv).size(), 16u);
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
        EXPECT_EQ(thrownKdbxError([&] { KdbxCrypto::decryptPayload(data, c.cipher, key, iv); }),
                  KdbxError::corruptedData(c.detail));
        EXPECT_EQ(thrownKdbxError([&] { KdbxCrypto::encryptPayload(data, c.cipher, key, iv); }),
                  KdbxError::corruptedData(c.detail));
    }
}
