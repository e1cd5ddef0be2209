#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "OmbrixCore/Kdbx/Base64.h"

// RFC 4648, section 10, and the cases where the two decoders part.
TEST(Base64, EncodeAndDecodeTable) {
    const struct {
        std::string text;
        std::optional<std::string> strict;
        std::optional<std::string> lenient;
        const char* note;
    } cases[] = {
        {"", "", "", "empty"},
        {"Zg==", "f", "f", "RFC 4648"},
        {"Zm8=", "fo", "fo", "RFC 4648"},
        {"Zm9v", "foo", "foo", "RFC 4648"},
        {"Zm9vYg==", "foob", "foob", "RFC 4648"},
        {"Zm9vYmE=", "fooba", "fooba", "RFC 4648"},
        {"Zm9vYmFy", "foobar", "foobar", "RFC 4648"},
        {" Zm9v\r\nYmFy ", std::nullopt, "foobar", "white space only skipped by the lenient decoder"},
        {"Zm9v!YmFy", std::nullopt, "foobar", "stray character"},
        {"Zm9", std::nullopt, std::nullopt, "length not a multiple of 4"},
        {"Zg", std::nullopt, std::nullopt, "padding missing"},
        {"Zg=a", std::nullopt, std::nullopt, "padding inside"},
        {"Zg==Zg==", std::nullopt, std::nullopt, "padding before the end"},
        {"Z===", std::nullopt, std::nullopt, "three padding characters"},
    };
    for (const auto& c : cases) {
        const auto asText = [](const std::optional<Bytes>& b) -> std::optional<std::string> {
            if (!b) return std::nullopt;
            return std::string(b->begin(), b->end());
        };
        EXPECT_EQ(asText(Base64::decodeStrict(c.text)), c.strict) << c.note;
        EXPECT_EQ(asText(Base64::decodeLenient(c.text)), c.lenient) << c.note;
        if (c.strict) {
            const Bytes raw(c.strict->begin(), c.strict->end());
            EXPECT_EQ(Base64::encode(raw), c.text) << c.note;
        }
    }
}
