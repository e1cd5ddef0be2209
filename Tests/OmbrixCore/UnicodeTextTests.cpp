#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/UnicodeText.h"
#include "Support/Fixtures.h"

using testsupport::fromHex;

TEST(UnicodeText, DecodeReplacesEachMaximalIllFormedSubpart) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        const char* hex;
        std::string expected;
        const char* note;
    };
    const std::vector<Case> cases = {
        {"", "", "empty"},
        {"41 c3 a7 f0 9f 94 90", "A\xC3\xA7\xF0\x9F\x94\x90", "valid: ASCII, two and four bytes"},
        {"ff", fffd, "byte that never occurs"},
        {"80", fffd, "lone continuation byte"},
        {"c0 80", fffd + fffd, "overlong lead byte"},
        {"e2 82", fffd, "truncated three-byte sequence is one subpart"},
        {"e2 82 41", fffd + "A", "truncated sequence followed by ASCII"},
        {"ed a0 80", fffd + fffd + fffd, "surrogate code point"},
        {"f4 90 80 80", fffd + fffd + fffd + fffd, "beyond U+10FFFF"},
        {"f0 9f 94", fffd, "truncated four-byte sequence at the end"},
        {"00 41", std::string("\0A", 2), "NUL is a character"},
    };
    for (const Case& c : cases) EXPECT_EQ(UnicodeText::decodeUTF8(fromHex(c.hex)), c.expected) << c.note;
}

TEST(UnicodeText, CanonicalEquivalence) {
    struct Case {
        std::string a;
        std::string b;
        bool equal;
        const char* note;
    };
    const std::vector<Case> cases = {
        {"", "", true, "empty texts"},
        {"abc", "abc", true, "same ASCII"},
        {"abc", "abd", false, "other ASCII"},
        {"\xC3\xA9", "e\xCC\x81", true, "precomposed e-acute and e + combining acute"},
        {"\xC3\xA9", "e", false, "accent matters"},
        {"A", "a", false, "letter case matters"},
        {std::string("a\0\xC3\xA9", 4), std::string("a\0e\xCC\x81", 5), true, "embedded NUL kept"},
        {std::string("a\0x", 3), "a", false, "text after NUL counts"},
    };
    for (const Case& c : cases) EXPECT_EQ(UnicodeText::canonicallyEqual(c.a, c.b), c.equal) << c.note;
}

TEST(UnicodeText, NfcComposes) {
    EXPECT_EQ(UnicodeText::nfc("e\xCC\x81"), "\xC3\xA9");
    EXPECT_EQ(UnicodeText::nfc("\xFF"), "\xEF\xBF\xBD");
}
