#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "Support/AESReference.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;
using testsupport::toHex;

// Failure output shows the error's text rather than its bytes.
void PrintTo(const AESCipher::Error& error, std::ostream* out) {
    *out << error.description();
}

namespace {

// NIST SP 800-38A, appendix F: the AES-256 key and the four plaintext blocks.
const Bytes nistKey = fromHex("603deb1015ca71be2b73aef0857d7781 1f352c073b6108d72d9810a30914dff4");
const Bytes nistPlaintext = fromHex(
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");

}  // namespace

TEST(AESReference, ECBMatchesNISTExample) {
    // F.1.5 ECB-AES256.Encrypt / F.1.6 Decrypt.
    const Bytes expected = fromHex(
        "f3eed1bdb5d2a03c064b5a7e3db181f8 591ccb10d410ed26dc5ba74a31362870"
        "b6ed21b99ca6f4f9f153e7b1beafed1d 23304b7a39f9f3ff067d8d8f9e24ecc7");
    EXPECT_EQ(toHex(AESReference::ecbEncryptNoPadding(nistPlaintext, nistKey)), toHex(expected));
    EXPECT_EQ(toHex(AESReference::ecbDecryptNoPadding(expected, nistKey)), toHex(nistPlaintext));
}

TEST(AESReference, CBCMatchesNISTExampleAndAddsOnePaddingBlock) {
    // F.2.5 CBC-AES256.Encrypt. The data is whole blocks, so PKCS#7 appends a full block.
    const Bytes iv = fromHex("000102030405060708090a0b0c0d0e0f");
    const Bytes expected = fromHex(
        "f58c4c04d6e5f1ba779eabfb5f7bfbd6 9cfc4e967edb808d679f777bc6702c7d"
        "39f23369a9d9bacfa530e26304231461 b2eb05e2c39be9fcda6c19078c6a9d1b");
    const Bytes ciphertext = AESReference::cbcEncrypt(nistPlaintext, nistKey, iv);
    ASSERT_EQ(ciphertext.size(), 80u);
    EXPECT_EQ(toHex(Bytes(ciphertext.begin(), ciphertext.begin() + 64)), toHex(expected));
    EXPECT_EQ(toHex(AESReference::cbcDecrypt(ciphertext, nistKey, iv)), toHex(nistPlaintext));
}

TEST(AESReference, CBCPaddingRoundTrips) {
    const Bytes iv(16, 0x5A);
    for (const std::size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 1000u}) {
        Bytes data(length);
        for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
        const Bytes ciphertext = AESReference::cbcEncrypt(data, nistKey, iv);
        EXPECT_EQ(ciphertext.size(), (length / 16 + 1) * 16) << "length " << length;
        EXPECT_EQ(AESReference::cbcDecrypt(ciphertext, nistKey, iv), data) << "length " << length;
    }
}

TEST(AESReference, ECBEnciphersEachBlockByItself) {
    const Bytes data(32, 0x42);
    const Bytes ciphertext = AESReference::ecbEncryptNoPadding(data, nistKey);
    ASSERT_EQ(ciphertext.size(), 32u);
    EXPECT_EQ(Bytes(ciphertext.begin(), ciphertext.begin() + 16),
              Bytes(ciphertext.begin() + 16, ciphertext.end()));
    EXPECT_EQ(AESReference::ecbDecryptNoPadding(ciphertext, nistKey), data);
    EXPECT_TRUE(AESReference::ecbEncryptNoPadding({}, nistKey).empty());
}

TEST(AESReference, RefusesBadInputWithTheFirstFailingCheck) {
    using Error = AESCipher::Error;
    const Bytes key(32, 1), iv(16, 2);
    // Decrypted under a zero IV this block is sixteen zero bytes: its last byte is no valid padding.
    const Bytes badPadding = AESReference::ecbEncryptNoPadding(Bytes(16, 0), key);
    struct Case {
        std::function<Bytes()> call;
        Error expected;
        const char* note;
    };
    const Case cases[] = {
        {[&] { return AESReference::cbcEncrypt(Bytes(5), Bytes(31), Bytes(15)); },
         Error::invalidKeyLength(31), "CBC checks the key before the IV"},
        {[&] { return AESReference::cbcEncrypt(Bytes(5), key, Bytes(15)); }, Error::invalidIVLength(15),
         "short IV"},
        {[&] { return AESReference::cbcDecrypt(Bytes(16), Bytes(0), iv); }, Error::invalidKeyLength(0),
         "empty key"},
        {[&] { return AESReference::cbcDecrypt(Bytes(16), key, Bytes(17)); }, Error::invalidIVLength(17),
         "long IV"},
        {[&] { return AESReference::cbcDecrypt(Bytes(17), key, iv); },
         Error::cryptoFailure(Error::finalStatus), "ciphertext not whole blocks"},
        {[&] { return AESReference::cbcDecrypt(badPadding, key, Bytes(16, 0)); },
         Error::cryptoFailure(Error::finalStatus), "invalid padding"},
        {[&] { return AESReference::cbcDecrypt({}, key, iv); }, Error::cryptoFailure(Error::finalStatus),
         "empty ciphertext"},
        {[&] { return AESReference::ecbEncryptNoPadding(Bytes(15), Bytes(10)); },
         Error::invalidBlockAlignment(15), "ECB checks the length before the key"},
        {[&] { return AESReference::ecbEncryptNoPadding(Bytes(16), Bytes(10)); }, Error::invalidKeyLength(10),
         "ECB short key"},
        {[&] { return AESReference::ecbDecryptNoPadding(Bytes(17), key); }, Error::invalidBlockAlignment(17),
         "ECB decryption of a partial block"},
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.note << ": no error";
        } catch (const Error& error) {
            EXPECT_EQ(error, c.expected) << c.note << ": " << error.description();
        }
    }
}

TEST(AESCipher, ErrorTextsAndEquality) {
    using Error = AESCipher::Error;
    const struct {
        Error error;
        std::string text;
    } cases[] = {
        {Error::invalidKeyLength(31), "AES: anahtar 32 byte olmalı (31)."},
        {Error::invalidIVLength(15), "AES: IV 16 byte olmalı (15)."},
        {Error::invalidBlockAlignment(17), "AES: veri 16'nın katı olmalı (17)."},
        {Error::cryptoFailure(Error::finalStatus), "AES: şifreleme kütüphanesi hatası 4."},
        {Error::cryptoFailure(-4304), "AES: şifreleme kütüphanesi hatası -4304."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.description(), c.text);
        EXPECT_EQ(std::string(c.error.what()), c.text);
    }
    EXPECT_EQ(Error::invalidKeyLength(16), Error::invalidKeyLength(16));
    EXPECT_NE(Error::invalidKeyLength(16), Error::invalidIVLength(16));
    EXPECT_NE(Error::invalidKeyLength(16), Error::invalidKeyLength(17));
    EXPECT_NE(Error::cryptoFailure(1), Error::cryptoFailure(2));
    EXPECT_EQ(Error::cryptoFailure(3).kind(), Error::Kind::cryptoFailure);
}
