#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/SecureString.h"

// Secret values are compared with EXPECT_TRUE so that a failure never prints them.

TEST(SecureString, GivesTheTextBack) {
    const std::vector<std::string> texts = {
        "",
        " ",
        "parola",
        "\xC4\x9F\xC3\xBC\xC5\x9F\xC4\xB1\xC3\xB6\xC3\xA7 \xC4\x9E\xC3\x9C\xC5\x9E\xC4\xB0",  // Turkish
                                                                                              // letters
        "\xF0\x9F\x94\x90 emoji",
        std::string("a\0b", 3),
    };
    for (const std::string& text : texts) {
        const SecureString secret(text);
        EXPECT_TRUE(secret.value() == text) << "text of " << text.size() << " bytes";
        EXPECT_EQ(secret.isEmpty(), text.empty()) << "text of " << text.size() << " bytes";
    }
    EXPECT_TRUE(SecureString().isEmpty());
    EXPECT_TRUE(SecureString().value().empty());
}

TEST(SecureString, IllFormedUTF8ComesBackReplaced) {
    EXPECT_TRUE(SecureString("a\xFF").value() == "a\xEF\xBF\xBD");
}

TEST(SecureString, EqualityIsCanonicalEquivalenceOfTheTexts) {
    EXPECT_TRUE(SecureString("same") == SecureString("same")) << "different pads, same text";
    EXPECT_TRUE(SecureString("\xC3\xA9") == SecureString("e\xCC\x81")) << "precomposed and decomposed";
    EXPECT_FALSE(SecureString("abc") == SecureString("abd"));
    EXPECT_FALSE(SecureString("") == SecureString(" "));
    EXPECT_TRUE(SecureString() == SecureString(""));

    const SecureString original("shared");
    const SecureString copy = original;
    EXPECT_TRUE(copy == original);
    EXPECT_TRUE(copy.value() == "shared");
}
