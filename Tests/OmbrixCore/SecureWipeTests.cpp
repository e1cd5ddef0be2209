#include <gtest/gtest.h>

#include "OmbrixCore/Crypto/SecureWipe.h"

TEST(SecureWipe, ZeroesEveryByte) {
    Bytes secret = {1, 2, 3, 4, 5, 6, 7, 8};
    secureWipe(secret);
    EXPECT_EQ(secret, Bytes(8, 0));
}

TEST(SecureWipe, EmptyAndNullAreHarmless) {
    Bytes empty;
    secureWipe(empty);
    secureWipe(nullptr, 0);
    EXPECT_TRUE(empty.empty());
}
