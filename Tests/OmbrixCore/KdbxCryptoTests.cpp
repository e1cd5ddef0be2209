#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;
using testsupport::toHex;

namespace {

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

}  // namespace

// FIPS 180-4 example messages.
TEST(KdbxCrypto, ShaKnownAnswers) {
    EXPECT_EQ(toHex(KdbxCrypto::sha256(text("abc"))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(toHex(KdbxCrypto::sha256(Bytes{})),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(toHex(KdbxCrypto::sha512(text("abc"))),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    EXPECT_EQ(KdbxCrypto::sha512({text("a"), Bytes{}, text("bc")}), KdbxCrypto::sha512(text("abc")));
}

// RFC 4231 test cases 1 and 2, and the empty key.
TEST(KdbxCrypto, HmacSha256KnownAnswers) {
    EXPECT_EQ(toHex(KdbxCrypto::hmacSha256(Bytes(20, 0x0b), text("Hi There"))),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    EXPECT_EQ(toHex(KdbxCrypto::hmacSha256(text("Jefe"), text("what do ya want for nothing?"))),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(toHex(KdbxCrypto::hmacSha256(Bytes{}, Bytes{})),
              "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
    EXPECT_EQ(KdbxCrypto::hmacSha256(text("Jefe"), {text("what do ya "), text("want for nothing?")}),
              KdbxCrypto::hmacSha256(text("Jefe"), text("what do ya want for nothing?")));
}

TEST(KdbxCrypto, ConstantTimeEquals) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const std::vector<Case> cases = {
        {"", "", true},
        {"01", "01", true},
        {"0102", "01", false},
        {"010203", "010204", false},
        {"ff0203", "010203", false},
        {"00", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KdbxCrypto::constantTimeEquals(fromHex(c.a), fromHex(c.b)), c.equal)
            << c.a << " vs " << c.b;
    }
}

TEST(KdbxCrypto, RandomBytes) {
    EXPECT_TRUE(KdbxCrypto::randomBytes(0).empty());
    const Bytes first = KdbxCrypto::randomBytes(64);
    const Bytes second = KdbxCrypto::randomBytes(64);
    EXPECT_EQ(first.size(), 64u);
    EXPECT_NE(first, second);
    EXPECT_NE(first, Bytes(64, 0));
}
