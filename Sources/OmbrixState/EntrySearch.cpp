#include "OmbrixState/EntrySearch.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include <QChar>

namespace {

bool isHorizontalSpace(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// Writes the lower-cased UTF-16 form of UTF-8 text at `out` and returns the end. The mapping is
// QString::toLower's, one code point at a time: Unicode's simple lower-case mapping, except
// that U+0130 (İ) becomes i and U+0307 (its one full mapping; none depends on context). Done
// here because the search folds the whole database on every keystroke, and the intermediate
// strings of fromUtf8() + toLower() cost three times as much. Ill-formed UTF-8 gives U+FFFD,
// as fromUtf8() does. Needs room for one UTF-16 unit per byte.
char16_t* appendFolded(char16_t* out, std::string_view text, char32_t& highest) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *out++ = (b >= 'A' && b <= 'Z') ? char16_t(b + 32) : char16_t(b);
            ++i;
            continue;
        }
        char32_t cp = 0xFFFD;
        std::size_t length = 1;
        auto continuation = [&](std::size_t k) { return i + k < n && (s[i + k] & 0xC0) == 0x80; };
        if (b >= 0xC2 && b <= 0xDF && continuation(1)) {
            cp = char32_t(b & 0x1F) << 6 | (s[i + 1] & 0x3F);
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF && continuation(1) && continuation(2)) {
            const char32_t v = char32_t(b & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
            if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
                cp = v;
                length = 3;
            }
        } else if (b >= 0xF0 && b <= 0xF4 && continuation(1) && continuation(2) && continuation(3)) {
            const char32_t v = char32_t(b & 0x07) << 18 | char32_t(s[i + 1] & 0x3F) << 12 |
                               char32_t(s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
            if (v >= 0x10000 && v <= 0x10FFFF) {
                cp = v;
                length = 4;
            }
        }
        i += length;
        if (cp == 0x130) {
            *out++ = u'i';
            *out++ = u'\u0307';
            highest = std::max<char32_t>(highest, 0x307);
            continue;
        }
        cp = QChar::toLower(cp);
        highest = std::max(highest, cp);
        if (cp >= 0x10000) {
            *out++ = QChar::highSurrogate(cp);
            *out++ = QChar::lowSurrogate(cp);
        } else {
            *out++ = char16_t(cp);
        }
    }
    return out;
}

QString foldedQuery(const QString& text) {
    return text.toLower().normalized(QString::NormalizationForm_C);
}

}  // namespace

QStringView EntrySearch::trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalSpace(text[begin])) ++begin;
    while (end > begin && isHorizontalSpace(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

QString EntrySearch::searchedText(const KdbxEntry& entry) {
    // Title, user name, address, notes, the tags, then "name value" of each unprotected custom
    // field, all joined by single spaces.
    std::vector<std::string_view> parts{entry.title, entry.username, entry.url, entry.notes};
    std::size_t tagParts = 0;
    for (const std::string& tag : entry.tags) parts.push_back(tag), ++tagParts;
    std::vector<std::string_view> fields;
    for (const auto& [name, value] : entry.customFields) {
        if (entry.protectedCustomFields.contains(name) || value.isSecret()) continue;
        fields.push_back(name);
        fields.push_back(value.plainText());
    }
    std::size_t bytes = 8;
    for (std::string_view part : parts) bytes += part.size() + 1;
    for (std::string_view part : fields) bytes += part.size() + 1;

    QString text(static_cast<qsizetype>(bytes), Qt::Uninitialized);
    char16_t* begin = reinterpret_cast<char16_t*>(text.data());
    char16_t* out = begin;
    char32_t highest = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        out = appendFolded(out, parts[i], highest);
        *out++ = u' ';
    }
    for (std::size_t i = 0; i < tagParts; ++i) {
        if (i > 0) *out++ = u' ';
        out = appendFolded(out, parts[4 + i], highest);
    }
    *out++ = u' ';
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) *out++ = u' ';
        out = appendFolded(out, fields[i], highest);
    }
    text.truncate(out - begin);
    // Below U+0300 nothing composes or decomposes: the text is already in NFC.
    if (highest >= 0x300) text = text.normalized(QString::NormalizationForm_C);
    return text;
}

EntrySearch::EntrySearch(QStringView query) {
    words_ = foldedQuery(trimmed(query).toString()).split(u' ', Qt::SkipEmptyParts);
}

bool EntrySearch::matches(const KdbxEntry& entry) const {
    if (words_.isEmpty()) return true;
    const QString text = searchedText(entry);
    for (const QString& word : words_) {
        if (!text.contains(word)) return false;
    }
    return true;
}
