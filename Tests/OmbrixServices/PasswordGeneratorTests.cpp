#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "OmbrixServices/Services/PasswordGenerator.h"

using PasswordGenerator::Options;

namespace {

void putWord(std::span<std::uint8_t> out, std::uint32_t value) {
    EXPECT_EQ(out.size(), 4u);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Gives the listed 32-bit draws in order, then reports failure; counts the draws taken.
struct ScriptedSource {
    std::vector<std::uint32_t> words;
    std::size_t draws = 0;

    PasswordGenerator::RandomSource source() {
        return [this](std::span<std::uint8_t> out) {
            if (draws == words.size()) return false;
            putWord(out, words[draws++]);
            return true;
        };
    }
};

// Draws 0, 1, 2, ... : small values, never rejected, so every index is the draw modulo the count.
PasswordGenerator::RandomSource countingSource() {
    return [next = std::uint32_t{0}](std::span<std::uint8_t> out) mutable {
        putWord(out, next++);
        return true;
    };
}

// A fixed-seed splitmix64 stream: many different passwords, the same in every run.
PasswordGenerator::RandomSource seededSource(std::uint64_t seed) {
    return [state = seed](std::span<std::uint8_t> out) mutable {
        state += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        putWord(out, static_cast<std::uint32_t>(z ^ (z >> 31)));
        return true;
    };
}

bool isIn(QChar c, std::u16string_view set) {
    return set.find(c.unicode()) != std::u16string_view::npos;
}

}  // namespace

TEST(PasswordGenerator, CharacterClasses) {
    struct Case {
        Options options;
        std::vector<qsizetype> sizes;
        const char* note;
    };
    const Case cases[] = {
        {Options{}, {26, 26, 10, 28}, "all four classes"},
        {Options{20, true, true, true, true, true}, {24, 24, 8, 27}, "ambiguous characters excluded"},
        {Options{20, false, true, false, true, false}, {26, 28}, "disabled classes left out"},
        {Options{20, false, false, false, false, false}, {}, "no class"},
    };
    for (const Case& c : cases) {
        const QStringList classes = c.options.characterClasses();
        std::vector<qsizetype> sizes;
        for (const QString& cls : classes) sizes.push_back(cls.size());
        EXPECT_EQ(sizes, c.sizes) << c.note;
    }
    const QStringList excluded = Options{20, true, true, true, true, true}.characterClasses();
    EXPECT_EQ(excluded[2], QStringLiteral("23456789"));
    EXPECT_FALSE(excluded[3].contains(u'|'));
}

// With a scripted random source the result is fully determined: the guaranteed characters in
// class order, then pool characters, then a Fisher-Yates shuffle from the back.
TEST(PasswordGenerator, ExactOutputWithFixedSource) {
    struct Case {
        Options options;
        const char* expected;
        const char* note;
    };
    const Case cases[] = {
        {Options{}, "S%NQOPFJLTHRbMKIGE2A", "defaults"},
        {Options{12, true, true, true, true, true}, "bLJFKH%MGE4A", "ambiguous excluded"},
        {Options{8, false, false, true, false, true}, "85793642", "digits without ambiguous"},
        {Options{2, true, true, true, true, false}, "bA", "length 2: one upper, one lower"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PasswordGenerator::generate(c.options, countingSource()), QString::fromLatin1(c.expected))
            << c.note;
    }
}

TEST(PasswordGenerator, EmptyResultDrawsNothing) {
    struct Case {
        Options options;
        const char* note;
    };
    const Case cases[] = {
        {Options{0, true, true, true, true, false}, "length 0"},
        {Options{-5, true, true, true, true, false}, "negative length"},
        {Options{INT64_MIN, true, true, true, true, false}, "most negative length"},
        {Options{20, false, false, false, false, false}, "no class"},
        {Options{INT64_MAX, false, false, false, false, true}, "no class, huge length"},
    };
    for (const Case& c : cases) {
        ScriptedSource script;  // fails on any draw
        EXPECT_EQ(PasswordGenerator::generate(c.options, script.source()), QString()) << c.note;
        EXPECT_EQ(script.draws, 0u) << c.note;
    }
}

// Many passwords from a seeded source: length, allowed characters and the one-per-class guarantee.
TEST(PasswordGenerator, ClassGuarantees) {
    const std::u16string_view upper = PasswordGenerator::upperChars;
    const std::u16string_view lower = PasswordGenerator::lowerChars;
    const std::u16string_view digits = PasswordGenerator::digitChars;
    const std::u16string_view symbols = PasswordGenerator::symbolChars;
    struct Case {
        Options options;
        std::vector<std::u16string_view> required;  // one character of each at least
        std::u16string_view forbidden;
        const char* note;
    };
    const Case cases[] = {
        {Options{}, {upper, lower, digits, symbols}, u"", "defaults"},
        {Options{1, true, true, true, true, false}, {upper}, u"", "length 1: the upper-case letter only"},
        {Options{3, true, true, true, true, false}, {upper, lower, digits}, symbols, "length 3: no symbol"},
        {Options{16, false, false, true, false, true}, {u"23456789"}, u"01", "digits without ambiguous"},
        {Options{16, false, false, false, true, true}, {symbols}, u"|", "symbols without the bar"},
        {Options{64, true, true, true, true, true},
         {upper, lower, digits, symbols},
         PasswordGenerator::ambiguousChars,
         "all classes without ambiguous"},
    };
    for (const Case& c : cases) {
        const auto random = seededSource(0x5EED);
        for (int round = 0; round < 200; ++round) {
            const QString password = PasswordGenerator::generate(c.options, random);
            ASSERT_EQ(password.size(), c.options.length) << c.note;
            for (QChar ch : password) {
                ASSERT_FALSE(isIn(ch, c.forbidden)) << c.note;
                bool enabled = false;
                for (const QString& cls : c.options.characterClasses()) enabled = enabled || cls.contains(ch);
                ASSERT_TRUE(enabled) << c.note;
            }
            for (std::u16string_view cls : c.required) {
                bool present = false;
                for (QChar ch : password) present = present || isIn(ch, cls);
                ASSERT_TRUE(present) << c.note;
            }
        }
    }
}

// A draw is kept only below the largest multiple of the count that fits in 2^32, so that every
// index has the same number of accepted draws; anything at or above it is drawn again.
TEST(PasswordGenerator, RejectionSamplingIsUnbiased) {
    struct Case {
        Options options;  // length 1 and one class: exactly one index is drawn
        std::vector<std::uint32_t> words;
        const char* expected;
        std::size_t draws;
        const char* note;
    };
    const Case cases[] = {
        {Options{1, false, false, true, false, false},
         {4294967290u, 0xFFFFFFFFu, 4294967289u},
         "9",
         3,
         "10 digits: 4294967290 and above redrawn, 4294967289 kept"},
        {Options{1, true, false, false, false, false},
         {4294967274u, 4294967273u},
         "Z",
         2,
         "26 letters: 4294967274 redrawn, 4294967273 kept"},
        {Options{1, false, false, true, false, true},
         {0xFFFFFFFFu},
         "9",
         1,
         "8 digits divide 2^32: nothing is redrawn"},
        {Options{1, false, false, false, true, false}, {7u}, "*", 1, "small draw: index 7 of the symbols"},
    };
    for (const Case& c : cases) {
        ScriptedSource script{c.words};
        EXPECT_EQ(PasswordGenerator::generate(c.options, script.source()), QString::fromLatin1(c.expected))
            << c.note;
        EXPECT_EQ(script.draws, c.draws) << c.note;
    }
}

TEST(PasswordGenerator, FailingSourceThrows) {
    for (std::size_t available : {0u, 5u}) {
        ScriptedSource script{std::vector<std::uint32_t>(available, 1u)};
        try {
            PasswordGenerator::generate(Options{}, script.source());
            ADD_FAILURE() << "no error after " << available << " draws";
        } catch (const PasswordGenerator::Error& error) {
            EXPECT_EQ(error, PasswordGenerator::Error(PasswordGenerator::Error::Kind::randomSourceFailed));
            EXPECT_EQ(error.description(), "Güvenli rastgele sayı üretilemedi; parola oluşturulamadı.");
            EXPECT_STREQ(error.what(), error.description().c_str());
        }
    }
}

TEST(PasswordGenerator, LengthLimit) {
    const auto random = seededSource(1);
    Options options;
    options.length = PasswordGenerator::maximumLength;
    EXPECT_EQ(PasswordGenerator::generate(options, random).size(), PasswordGenerator::maximumLength);

    for (std::int64_t length : {PasswordGenerator::maximumLength + 1, INT64_MAX}) {
        options.length = length;
        try {
            PasswordGenerator::generate(options, random);
            ADD_FAILURE() << "no error for length " << length;
        } catch (const PasswordGenerator::Error& error) {
            EXPECT_EQ(error.kind(), PasswordGenerator::Error::Kind::lengthTooLarge);
            EXPECT_EQ(error.description(), "Parola en çok 4096 karakter olabilir.");
        }
    }
}

TEST(PasswordGenerator, SystemSource) {
    const QString first = PasswordGenerator::generate(Options{});
    const QString second = PasswordGenerator::generate(Options{});
    EXPECT_EQ(first.size(), 20);
    // 90^20 possible passwords: equal results would mean the source is not random. The passwords
    // are secrets, so the check prints neither.
    EXPECT_TRUE(first != second);
}
