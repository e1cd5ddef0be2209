#include "OmbrixServices/Services/PasswordStrength.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QSet>
#include <QStringView>
#include <QTextBoundaryFinder>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include "OmbrixServices/Services/PasswordGenerator.h"

namespace PasswordGenerator {
namespace {

// Each row is also searched reversed.
constexpr std::u16string_view keyboardRows[] = {u"qwertyuiop", u"asdfghjkl",  u"zxcvbnm",
                                                u"1234567890", u"qwertzuiop", u"azertyuiop"};

// Trimmed from both ends before the weak-password lookup ("!password!" is still "password").
constexpr std::u16string_view symbolTrim = u"!@#$%^&*()_+-=.,";

// Very common passwords, held in lower case and compared exactly.
const QSet<QString>& commonPasswords() {
    static const QSet<QString> set = {
        // digit runs
        QStringLiteral("12345"), QStringLiteral("123456"), QStringLiteral("1234567"),
        QStringLiteral("12345678"), QStringLiteral("123456789"), QStringLiteral("1234567890"),
        // the top letter row
        QStringLiteral("qwerty"), QStringLiteral("qwertyuiop"),
        // English words and phrases
        QStringLiteral("password"), QStringLiteral("iloveyou"), QStringLiteral("letmein"),
        QStringLiteral("welcome"), QStringLiteral("monkey"), QStringLiteral("dragon"),
        QStringLiteral("football"), QStringLiteral("baseball"), QStringLiteral("sunshine"),
        QStringLiteral("princess"), QStringLiteral("admin"), QStringLiteral("master"),
        QStringLiteral("shadow"), QStringLiteral("superman"), QStringLiteral("starwars"),
        QStringLiteral("whatever"),
        // English with digits
        QStringLiteral("password1"), QStringLiteral("passw0rd"), QStringLiteral("trustno1"),
        // Turkish for "password"
        QStringLiteral("parola"), QStringLiteral("parola123"), QStringLiteral("şifre"),
        QStringLiteral("sifre"),
        // football clubs
        QStringLiteral("galatasaray"), QStringLiteral("fenerbahce"), QStringLiteral("besiktas")};
    return set;
}

// Digits and symbols commonly written for letters.
char16_t substitute(char16_t c) {
    switch (c) {
        case u'4':
        case u'@':
            return u'a';
        case u'3':
            return u'e';
        case u'1':
        case u'!':
            return u'i';
        case u'0':
            return u'o';
        case u'5':
        case u'$':
            return u's';
        case u'7':
            return u't';
        default:
            return c;
    }
}

// One user-perceived character (extended grapheme cluster).
struct Character {
    QString text;
    QString canonical;  // NFC: canonically equivalent characters compare equal
    char32_t first = 0;
    bool single = false;  // exactly one code point
};

char32_t firstCodePoint(QStringView s) {
    if (s.size() >= 2 && s[0].isHighSurrogate() && s[1].isLowSurrogate()) {
        return QChar::surrogateToUcs4(s[0], s[1]);
    }
    return s[0].unicode();
}

std::vector<Character> characters(const QString& text) {
    std::vector<Character> out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end > start; end = finder.toNextBoundary()) {
        Character c;
        c.text = text.mid(start, end - start);
        c.canonical = c.text.normalized(QString::NormalizationForm_C);
        c.first = firstCodePoint(c.text);
        c.single = c.text.size() == (c.first > 0xFFFF ? 2 : 1);
        out.push_back(std::move(c));
        start = end;
    }
    return out;
}

// Full Unicode case mapping with the root locale, so that the user's locale (Turkish dotted and
// dotless i) never changes a rating.
QString caseMapped(const QString& s, bool upper) {
    if (s.size() > INT32_MAX / 4) return s;  // beyond ICU's 32-bit lengths; no password is that long
    const auto map = upper ? u_strToUpper : u_strToLower;
    const auto* src = reinterpret_cast<const UChar*>(s.utf16());
    const auto srcLength = static_cast<int32_t>(s.size());
    QString out(s.size() + 8, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = map(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), src,
                         srcLength, "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(length);
        status = U_ZERO_ERROR;
        length = map(reinterpret_cast<UChar*>(out.data()), length, src, srcLength, "", &status);
    }
    if (U_FAILURE(status)) return s;
    out.truncate(length);
    return out;
}

bool isLetter(const Character& c) {
    return (U_GET_GC_MASK(c.first) & U_GC_L_MASK) != 0;
}

bool isCased(const Character& c) {
    if (c.single && u_hasBinaryProperty(static_cast<UChar32>(c.first), UCHAR_CASED)) return true;
    return caseMapped(c.text, false).normalized(QString::NormalizationForm_C) !=
           caseMapped(c.text, true).normalized(QString::NormalizationForm_C);
}

bool hasCase(const Character& c, bool upper) {
    const bool property =
        upper ? u_isUUppercase(static_cast<UChar32>(c.first)) : u_isULowercase(static_cast<UChar32>(c.first));
    if (c.single && property) return true;
    return isCased(c) && caseMapped(c.text, upper).normalized(QString::NormalizationForm_C) == c.canonical;
}

bool isNumber(const Character& c) {
    return u_getIntPropertyValue(static_cast<UChar32>(c.first), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isSymbol(const Character& c) {
    if (c.canonical.size() == 1 && symbolChars.find(c.canonical[0].unicode()) != std::u16string_view::npos) {
        return true;
    }
    return (U_GET_GC_MASK(c.first) & (U_GC_P_MASK | U_GC_S_MASK)) != 0;
}

bool isNonAscii(const Character& c) {
    return !(c.single && c.first < 128) && c.text != QStringLiteral("\r\n");
}

std::int64_t longestRepeatRun(const std::vector<Character>& chars) {
    if (chars.size() < 2) return 1;
    std::int64_t longest = 1;
    std::int64_t run = 1;
    for (std::size_t i = 1; i < chars.size(); ++i) {
        run = chars[i].canonical == chars[i - 1].canonical ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

// Total length of the runs of three or more characters whose codes step by +1 or -1; a run may
// start on the character that ended the previous one ("abcba" counts 6).
std::int64_t sequentialCharacterCount(const std::vector<Character>& chars) {
    const auto n = static_cast<std::int64_t>(chars.size());
    if (n < 3) return 0;
    std::vector<std::int64_t> code;
    code.reserve(chars.size());
    for (const Character& c : chars) code.push_back(firstCodePoint(caseMapped(c.text, false)));
    std::int64_t total = 0;
    std::int64_t i = 0;
    while (i < n - 1) {
        const std::int64_t d = code[i + 1] - code[i];
        if (d != 1 && d != -1) {
            ++i;
            continue;
        }
        std::int64_t j = i + 1;
        while (j + 1 <= n - 1 && code[j + 1] - code[j] == d) ++j;
        if (j - i + 1 >= 3) total += j - i + 1;
        i = j;
    }
    return total;
}

// The longest piece (3 or more) of a keyboard row, forwards or backwards, found in the text.
// The text is one UTF-16 unit per character: ASCII characters as themselves, every other
// character as U+FFFF, which no row holds.
std::int64_t keyboardRunLength(const std::u16string& text) {
    std::int64_t best = 0;
    for (std::u16string_view written : keyboardRows) {
        const std::u16string rows[] = {std::u16string(written),
                                       std::u16string(written.rbegin(), written.rend())};
        for (const std::u16string& row : rows) {
            for (std::size_t start = 0; start < row.size(); ++start) {
                for (std::size_t length = 3; start + length <= row.size(); ++length) {
                    if (text.find(std::u16string_view(row).substr(start, length)) == std::u16string::npos)
                        break;
                    best = std::max(best, static_cast<std::int64_t>(length));
                }
            }
        }
    }
    return best;
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Line terminators as the platform's regular expressions know them.
bool isLineTerminator(QChar c) {
    switch (c.unicode()) {
        case u'\n':
        case u'\v':
        case u'\f':
        case u'\r':
        case 0x0085:
        case 0x2028:
        case 0x2029:
            return true;
        default:
            return false;
    }
}

// Where a "$" anchor without multi-line mode can close a match that ends in a digit: before a
// line terminator (CR LF counting as one) that ends the text, else at the very end.
qsizetype endAnchor(QStringView s) {
    const qsizetype n = s.size();
    if (n >= 2 && s[n - 2] == u'\r' && s[n - 1] == u'\n') return n - 2;
    if (n >= 1 && isLineTerminator(s[n - 1])) return n - 1;
    return n;
}

// The pattern "[0-9]+$" replaced by nothing.
QString withoutTrailingDigits(QString s) {
    const qsizetype end = endAnchor(s);
    qsizetype start = end;
    while (start > 0 && isAsciiDigit(s[start - 1])) --start;
    s.remove(start, end - start);
    return s;
}

// The pattern "^[0-9]{4,8}$" found in the text.
bool isFourToEightDigits(QStringView s) {
    const qsizetype end = endAnchor(s);
    return end >= 4 && end <= 8 && std::all_of(s.begin(), s.begin() + end, isAsciiDigit);
}

// An entropy cap for a weak password, plain or disguised by symbols around it, digits after it
// or digits written for letters; also for a short run of digits such as a year or a date.
std::optional<double> commonPatternPenalty(const QString& lowered, const std::vector<Character>& chars) {
    const QSet<QString>& common = commonPasswords();
    if (common.contains(lowered)) return 8.0;

    auto trimmed = [](const Character& c) {
        return c.text.size() == 1 && symbolTrim.find(c.text[0].unicode()) != std::u16string_view::npos;
    };
    auto first = chars.begin();
    auto last = chars.end();
    while (first != last && trimmed(*first)) ++first;
    while (last != first && trimmed(*(last - 1))) --last;
    QString stripped;
    for (auto it = first; it != last; ++it) stripped += it->text;
    stripped = withoutTrailingDigits(stripped);
    if (!stripped.isEmpty() && common.contains(stripped)) return 16.0;

    QString leet;
    for (const Character& c : chars) {
        leet += c.text.size() == 1 ? QString(QChar(substitute(c.text[0].unicode()))) : c.text;
    }
    if (common.contains(withoutTrailingDigits(leet))) return 20.0;

    if (isFourToEightDigits(lowered)) return 14.0;
    return std::nullopt;
}

}  // namespace

Strength strength(const QString& password) {
    if (password.isEmpty()) return {0, 0.0};

    const std::vector<Character> chars = characters(password);
    const auto n = static_cast<std::int64_t>(chars.size());
    const QString lowered = caseMapped(password, false);
    const std::vector<Character> loweredChars = characters(lowered);

    bool lower = false, upper = false, number = false, symbol = false, nonAscii = false;
    QSet<QString> distinct;
    for (const Character& c : chars) {
        lower = lower || (isLetter(c) && hasCase(c, false));
        upper = upper || (isLetter(c) && hasCase(c, true));
        number = number || isNumber(c);
        symbol = symbol || isSymbol(c);
        nonAscii = nonAscii || isNonAscii(c);
        distinct.insert(c.canonical);
    }
    const int pool =
        (lower ? 26 : 0) + (upper ? 26 : 0) + (number ? 10 : 0) + (symbol ? 28 : 0) + (nonAscii ? 100 : 0);
    const double perChar = std::log2(std::max(pool, 2));
    double bits = static_cast<double>(n) * perChar;

    const double uniqueness = static_cast<double>(distinct.size()) / static_cast<double>(n);
    if (uniqueness < 1.0) bits *= 0.35 + 0.65 * uniqueness;

    const std::int64_t repeat = longestRepeatRun(chars);
    if (repeat >= 3) bits -= 0.8 * perChar * static_cast<double>(repeat - 2);

    std::u16string asciiLowered;
    asciiLowered.reserve(loweredChars.size());
    for (const Character& c : loweredChars) {
        const bool ascii = c.canonical.size() == 1 && c.canonical[0].unicode() < 128;
        asciiLowered.push_back(ascii ? c.canonical[0].unicode() : u'\uFFFF');
    }
    const std::int64_t runs = sequentialCharacterCount(chars) + keyboardRunLength(asciiLowered);
    if (runs > 0) bits -= 0.6 * perChar * static_cast<double>(runs);

    if (const auto cap = commonPatternPenalty(lowered, loweredChars); cap && bits > *cap) bits = *cap;

    const double entropy = bits > 0.0 ? bits : 0.0;
    std::int64_t score = 100;
    if (entropy < 128.0) score = std::clamp<std::int64_t>(std::llround(entropy / 100.0 * 100.0), 0, 100);
    if (n <= 5) score = std::min<std::int64_t>(score, 20);
    if (n == 6 || n == 7) score = std::min<std::int64_t>(score, 40);
    if (distinct.size() < 3) score = std::min<std::int64_t>(score, 10);
    return {score, entropy};
}

}  // namespace PasswordGenerator
