#include "OmbrixServices/Services/PasswordGenerator.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <utility>

#include <openssl/rand.h>

#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Foundation/Precondition.h"

namespace PasswordGenerator {
namespace {

QString filteredClass(std::u16string_view chars, bool excludeAmbiguous) {
    QString out;
    for (char16_t c : chars) {
        if (!excludeAmbiguous || ambiguousChars.find(c) == std::u16string_view::npos) out.append(QChar(c));
    }
    return out;
}

// A uniform index below n. A 32-bit draw is kept only below the largest multiple of n that fits
// in 2^32, so that every index is reached by exactly the same number of draws. The draw is read
// little-endian so that a scripted source means the same on every machine.
qsizetype randomIndex(qsizetype n, const RandomSource& random) {
    OMBRIX_PRECONDITION(n >= 1 && static_cast<std::uint64_t>(n) <= UINT32_MAX, "index range out of bounds");
    if (n == 1) return 0;
    constexpr std::uint64_t range = std::uint64_t{1} << 32;
    const std::uint64_t limit = range - range % static_cast<std::uint64_t>(n);
    for (;;) {
        std::uint8_t bytes[4] = {};
        const bool ok = random(bytes);
        const std::uint32_t r =
            static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
        secureWipe(bytes, sizeof bytes);
        if (!ok) throw Error(Error::Kind::randomSourceFailed);
        if (r < limit) return static_cast<qsizetype>(r % static_cast<std::uint64_t>(n));
    }
}

// Fisher-Yates from the back.
void shuffle(QString& text, const RandomSource& random) {
    for (qsizetype i = text.size() - 1; i >= 1; --i) {
        const qsizetype j = randomIndex(i + 1, random);
        if (j != i) std::swap(text[i], text[j]);
    }
}

std::string describe(Error::Kind kind) {
    switch (kind) {
        case Error::Kind::randomSourceFailed:
            return "Güvenli rastgele sayı üretilemedi; parola oluşturulamadı.";
        case Error::Kind::lengthTooLarge:
            return "Parola en çok " + std::to_string(maximumLength) + " karakter olabilir.";
    }
    return {};
}

}  // namespace

QStringList Options::characterClasses() const {
    QStringList classes;
    const std::pair<bool, std::u16string_view> sets[] = {
        {upper, upperChars}, {lower, lowerChars}, {digits, digitChars}, {symbols, symbolChars}};
    for (const auto& [enabled, chars] : sets) {
        if (!enabled) continue;
        QString cls = filteredClass(chars, excludeAmbiguous);
        if (!cls.isEmpty()) classes.append(cls);
    }
    return classes;
}

bool systemRandom(std::span<std::uint8_t> out) {
    if (out.size() <= static_cast<std::size_t>(INT_MAX) &&
        RAND_bytes(out.data(), static_cast<int>(out.size())) == 1) {
        return true;
    }
    std::size_t filled = 0;
    while (filled < out.size()) {
        const ssize_t got = getrandom(out.data() + filled, out.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

Error::Error(Kind kind) : kind_(kind), description_(describe(kind)) {}

QString generate(const Options& options) {
    return generate(options, systemRandom);
}

QString generate(const Options& options, const RandomSource& random) {
    OMBRIX_PRECONDITION(static_cast<bool>(random), "a random source is required");
    const QStringList classes = options.characterClasses();
    if (classes.isEmpty() || options.length < 1) return {};
    if (options.length > maximumLength) throw Error(Error::Kind::lengthTooLarge);

    const QString pool = classes.join(QString());
    const auto length = static_cast<qsizetype>(options.length);
    QString password;
    password.reserve(length);
    // One character of each class first, so that every enabled class is present when the length
    // allows; the rest comes from the whole pool and the shuffle hides which was which.
    for (qsizetype k = 0; k < std::min(length, classes.size()); ++k) {
        password.append(classes[k][randomIndex(classes[k].size(), random)]);
    }
    while (password.size() < length) password.append(pool[randomIndex(pool.size(), random)]);
    shuffle(password, random);
    return password;
}

}  // namespace PasswordGenerator
