#include <gtest/gtest.h>

#include <cmath>
#include <string_view>

#include <QLocale>

#include <unicode/uloc.h>

#include "OmbrixServices/Services/PasswordStrength.h"

using PasswordGenerator::strength;

namespace {

QString text(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

struct Case {
    std::u16string_view password;
    std::int64_t score;
    double bits;
    const char* note;
};

// Expected values worked out from the rating rules by a separate script, not by this code.
const Case cases[] = {
    {u"", 0, 0.0, "empty"},
    {u"a", 5, std::log2(26.0), "single letter: 26-symbol pool"},
    {u"aaaaaaaaaaaa", 0, 0.0, "repetition drives the bits below zero"},
    {u"   ", 1, 0.9, "blanks: empty pool counts 1 bit per character"},
    {u"password", 8, 8.0, "weak password"},
    {u"PASSWORD", 8, 8.0, "weak password, upper case"},
    {u"!password123", 16, 16.0, "weak password with symbols around and digits after"},
    {u"Welcome2024!", 16, 16.0, "weak word, year and symbol"},
    {u"p@ssw0rd", 20, 20.0, "weak password with letters substituted"},
    {u"Ş1fre", 20, 20.0, "Turkish weak password, substituted"},
    {u"97205", 14, 14.0, "5 digits capped"},
    {u"97205318", 14, 14.0, "8 digits capped"},
    {u"972053184", 30, 29.89735285398626, "9 digits not capped"},
    {u"97205318\n", 14, 14.0, "8 digits and a final line feed"},
    {u"97205318\r\n", 14, 14.0, "8 digits and a final CR LF"},
    {u"97205318\u2028", 14, 14.0, "8 digits and a final line separator"},
    {u"97205318\n\n", 31, 31.06002768719684, "two final line feeds: not capped"},
    {u"97205318 ", 30, 29.89735285398626, "final blank: not capped"},
    {u"234567", 0, 0.0, "run and keyboard row, both counted"},
    {u"werty", 9, 9.400879436282182, "piece of the top row"},
    {u"ytrew", 9, 9.400879436282182, "piece of the top row, reversed"},
    {u"asd1", 11, 11.373835003173088, "three keys of the home row"},
    {u"abcba", 0, 0.4700439718141105, "two runs sharing their middle"},
    {u"xyz789", 3, 3.101955000865388, "two runs"},
    {u"qwert\u0301", 18, 18.140927801099785, "accented t is not t: row piece of 4"},
    {u"kuşlar", 40, 41.8636795409995, "Turkish letter: lower case and non-ASCII; 6 characters cap at 40"},
    {u"Xk9#mQ2v", 52, 51.9348247706374, "8 characters: no length cap"},
    {u"Xk9#mQ2v!Lp7@Wz4$Rt8&Yb3*Nc6^Hd", 100, 201.24744598621993, "128 bits and more"},
    {u"ab½", 20, 21.262388523751017, "fraction counts as a number"},
    {u"\u00e9e\u0301\u00e9", 6, 6.279551931149923, "composed and decomposed e-acute are one character"},
    {u"\U0001F44D\U0001F3FD", 7, 7.0, "emoji with skin tone: one character, symbol and non-ASCII"},
    {u"zq\r\nzq", 17, 17.39162695712204, "CR LF is one ASCII character"},
    {u"\u0130stanbul", 58, 57.98342010754868, "dotted capital I"},
    {u"Σίσυφος", 40, 50.7354925941051, "Greek with final sigma"},
};

}  // namespace

TEST(PasswordStrength, Examples) {
    for (const Case& c : cases) {
        const PasswordGenerator::Strength result = strength(text(c.password));
        EXPECT_EQ(result.score, c.score) << c.note;
        EXPECT_NEAR(result.entropyBits, c.bits, 1e-9) << c.note;
    }
}

// Lower-casing ignores the locale: under Turkish rules "ILOVEYOU" would become "ıloveyou" and
// escape the weak-password list.
TEST(PasswordStrength, TurkishLocaleChangesNothing) {
    const QLocale previousQt;
    const std::string previousIcu = uloc_getDefault();
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("tr_TR", &status);
    ASSERT_TRUE(U_SUCCESS(status));
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));

    for (const Case& c : cases) {
        const PasswordGenerator::Strength result = strength(text(c.password));
        EXPECT_EQ(result.score, c.score) << c.note;
        EXPECT_NEAR(result.entropyBits, c.bits, 1e-9) << c.note;
    }
    EXPECT_EQ(strength(QStringLiteral("ILOVEYOU")), (PasswordGenerator::Strength{8, 8.0}));

    uloc_setDefault(previousIcu.c_str(), &status);
    QLocale::setDefault(previousQt);
}

// The pattern checks are plain loops: a long text is rated without deep recursion.
TEST(PasswordStrength, LongInput) {
    const PasswordGenerator::Strength digits = strength(QString(200000, u'7') + u'\n');
    EXPECT_EQ(digits.score, 0);
    EXPECT_EQ(digits.entropyBits, 0.0);
    EXPECT_EQ(strength(QString(100000, u'x') + QStringLiteral("password123")).entropyBits, 0.0);
}
