#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "AllocationProbe.h"
#include "OmbrixCore/Kdbx/SecureString.h"
#include "Support/WipedBlocks.h"

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

// The storage goes with the last copy, both of its blocks (the text XORed with the pad, and the
// pad) wiped before they are freed. 37 bytes: a length no other secret block here has.
TEST(SecureString, TheLastCopyWipesItsStorage) {
    testsupport::WipedBlocks wiped;
    const std::size_t length = 37;
    auto secret = std::make_unique<SecureString>(std::string(length, 'g'));
    auto copy = std::make_unique<SecureString>(*secret);
    wiped.forget();
    secret.reset();
    EXPECT_EQ(wiped.wipedOfSize(length), 0u) << "a copy still holds the text";
    EXPECT_TRUE(copy->value() == std::string(length, 'g'));
    copy.reset();
    EXPECT_EQ(wiped.wipedOfSize(length), 2u);
}

// A secret made on a thread when memory has run out fails as an error the caller can report: the
// thread's first secret sets nothing up that could end the process instead.
TEST(SecureString, NoMemoryOnAFreshThreadIsAnError) {
    bool refused = false;
    {
        allocationprobe::FailOnOtherThreads failing(
            0, 0, allocationprobe::FailOnOtherThreads::Scope::everyAllocator);
        std::thread([&] {
            try {
                const SecureString secret("parola");
            } catch (const std::bad_alloc&) {
                refused = true;
            }
        }).join();
    }
    EXPECT_TRUE(refused);
}
