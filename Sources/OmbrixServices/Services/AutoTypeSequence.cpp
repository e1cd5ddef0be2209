#include "OmbrixServices/Services/AutoTypeSequence.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include <QString>
#include <QStringView>
#include <QTextBoundaryFinder>

#include "OmbrixCore/Crypto/SecureWipe.h"

namespace AutoTypeSequence {
namespace {

// The text as user-perceived characters (extended grapheme clusters): a brace followed by a
// combining mark is one character and no brace.
using Characters = std::vector<QString>;

Characters characters(const QString& text) {
    Characters out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end > start; end = finder.toNextBoundary()) {
        out.push_back(text.mid(start, end - start));
        start = end;
    }
    return out;
}

QString join(const Characters& chars, std::size_t from, std::size_t to) {
    QString out;
    for (std::size_t k = from; k < to; ++k) out += chars[k];
    return out;
}

bool startsWith(const Characters& chars, std::u16string_view prefix) {
    if (chars.size() < prefix.size()) return false;
    for (std::size_t k = 0; k < prefix.size(); ++k) {
        if (chars[k] != QChar(prefix[k])) return false;
    }
    return true;
}

// Appends to the text buffer, which may hold a password: when it must grow, the old storage is
// wiped before it is freed instead of being left behind on the heap.
void append(std::string& buffer, std::string_view s) {
    if (buffer.size() + s.size() > buffer.capacity()) {
        std::string grown;
        grown.reserve(std::max(buffer.capacity() * 2, buffer.size() + s.size()));
        grown.append(buffer);
        wipeString(buffer);
        buffer.swap(grown);
    }
    buffer.append(s);
}

void append(std::string& buffer, const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    append(buffer, std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

struct NamedKey {
    std::u16string_view name;
    AutoTypeKey key;
};

constexpr std::array<NamedKey, 12> namedKeys = {{
    {u"TAB", AutoTypeKey::tab},
    {u"ENTER", AutoTypeKey::enter},
    {u"ESC", AutoTypeKey::escape},
    {u"SPACE", AutoTypeKey::space},
    {u"BACKSPACE", AutoTypeKey::backspace},
    {u"DELETE", AutoTypeKey::delete_},
    {u"HOME", AutoTypeKey::home},
    {u"END", AutoTypeKey::end},
    {u"UP", AutoTypeKey::up},
    {u"DOWN", AutoTypeKey::down},
    {u"LEFT", AutoTypeKey::left},
    {u"RIGHT", AutoTypeKey::right},
}};

bool is(const QString& u, std::u16string_view name) {
    return QStringView(u) == QStringView(name.data(), static_cast<qsizetype>(name.size()));
}

std::optional<AutoTypeAction> fixedName(const QString& u, const KdbxEntry& entry) {
    if (is(u, u"USERNAME")) return AutoTypeAction::text(entry.username);
    if (is(u, u"PASSWORD")) return AutoTypeAction::text(entry.password.value());
    if (is(u, u"URL")) return AutoTypeAction::text(entry.url);
    if (is(u, u"TITLE")) return AutoTypeAction::text(entry.title);
    if (is(u, u"NOTES")) return AutoTypeAction::text(entry.notes);
    for (const NamedKey& k : namedKeys) {
        if (is(u, k.name)) return AutoTypeAction::key(k.key);
    }
    if (is(u, u"CLEARFIELD")) return AutoTypeAction::clearField();
    return std::nullopt;
}

// "{S:name}": the field of exactly that name, else the first (in the entry's order) whose name
// matches without regard to case or Unicode normalisation; a missing field types nothing.
AutoTypeAction customField(const Characters& body, const KdbxEntry& entry) {
    const QString name = join(body, 2, body.size());
    const auto exact = entry.customFields.find(name.toStdString());
    if (exact != entry.customFields.end()) return AutoTypeAction::text(exact->second.value());
    const QString wanted = name.normalized(QString::NormalizationForm_C);
    for (const auto& [fieldName, value] : entry.customFields) {
        const QString candidate = QString::fromStdString(fieldName).normalized(QString::NormalizationForm_C);
        if (QString::compare(candidate, wanted, Qt::CaseInsensitive) == 0)
            return AutoTypeAction::text(value.value());
    }
    return AutoTypeAction::text({});
}

bool isHorizontalSpace(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// "{DELAY n}", "{DELAY=n}", "{delay = n}": a whole number of milliseconds, optionally signed.
std::optional<AutoTypeAction> pause(const Characters& body) {
    std::size_t k = 5;
    while (k < body.size() && (body[k] == QChar(u' ') || body[k] == QChar(u'='))) ++k;
    if (k == body.size()) return std::nullopt;
    const QString rest = join(body, k, body.size());
    qsizetype first = 0;
    qsizetype last = rest.size();
    while (first < last && isHorizontalSpace(rest[first])) ++first;
    while (last > first && isHorizontalSpace(rest[last - 1])) --last;
    if (first == last) return std::nullopt;

    bool negative = false;
    if (rest[first] == u'+' || rest[first] == u'-') {
        negative = rest[first] == u'-';
        ++first;
    }
    if (first == last) return std::nullopt;
    constexpr auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t value = 0;
    for (qsizetype p = first; p < last; ++p) {
        const char16_t c = rest[p].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        // Checked before the step, so that the arithmetic itself can never wrap around.
        const auto digit = static_cast<std::uint64_t>(c - u'0');
        if (value > (limit - digit) / 10) return std::nullopt;  // beyond the signed 64-bit range: no pause
        value = value * 10 + digit;
    }
    if (negative && value != 0) return std::nullopt;
    return AutoTypeAction::delay(std::min(static_cast<std::int64_t>(value), maximumDelayMilliseconds));
}

// The step that the text between a pair of braces stands for, or nothing when it is no placeholder.
std::optional<AutoTypeAction> resolve(const Characters& body, const KdbxEntry& entry) {
    // QString::toUpper maps with the Unicode default rules, never the user's locale: a Turkish
    // locale must not turn "{title}" into "{TİTLE}".
    const QString u = join(body, 0, body.size()).toUpper();
    if (auto fixed = fixedName(u, entry)) return fixed;
    const Characters upper = characters(u);
    if (startsWith(upper, u"S:")) return customField(body, entry);
    if (startsWith(upper, u"DELAY")) return pause(body);
    return std::nullopt;
}

}  // namespace

std::vector<AutoTypeAction> parse(std::string_view sequence, const KdbxEntry& entry) {
    const Characters chars =
        characters(QString::fromUtf8(sequence.data(), static_cast<qsizetype>(sequence.size())));
    const QChar open(u'{');
    const QChar close(u'}');

    // Every placeholder adds at most a flushed text and one other step. Reserving for that keeps
    // the list from moving its texts (and the password among them) to new storage.
    const auto opens = static_cast<std::size_t>(std::count(chars.begin(), chars.end(), open));
    std::vector<AutoTypeAction> actions;
    actions.reserve(2 * opens + 1);

    std::string buffer;
    const auto flush = [&] {
        if (buffer.empty()) return;
        actions.push_back(AutoTypeAction::text(buffer));
        wipeString(buffer);
    };

    std::size_t i = 0;
    while (i < chars.size()) {
        if (chars[i] != open) {
            append(buffer, chars[i]);
            ++i;
            continue;
        }
        // "{{}" types "{" and "{}}" types "}".
        if (i + 2 < chars.size() && chars[i + 2] == close &&
            (chars[i + 1] == open || chars[i + 1] == close)) {
            append(buffer, chars[i + 1]);
            i += 3;
            continue;
        }
        const auto found = std::find(chars.begin() + static_cast<std::ptrdiff_t>(i) + 1, chars.end(), close);
        if (found == chars.end()) {
            append(buffer, join(chars, i, chars.size()));
            break;
        }
        const auto j = static_cast<std::size_t>(found - chars.begin());
        const Characters body(chars.begin() + static_cast<std::ptrdiff_t>(i) + 1, found);
        std::optional<AutoTypeAction> step = resolve(body, entry);
        if (!step) {
            append(buffer, join(chars, i, j + 1));
        } else if (step->kind() == AutoTypeAction::Kind::text) {
            // Values join the literal text around them and are never read as placeholders.
            append(buffer, step->textValue());
            step->wipe();
        } else {
            flush();
            actions.push_back(std::move(*step));
        }
        i = j + 1;
    }
    flush();
    return actions;
}

}  // namespace AutoTypeSequence
