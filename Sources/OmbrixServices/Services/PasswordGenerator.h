#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <QString>
#include <QStringList>

// Random passwords from up to four character classes, with one character of each enabled class
// guaranteed where the length allows. Stateless; every random number comes from a cryptographic
// source. The strength estimate of the same namespace is in PasswordStrength.h.
namespace PasswordGenerator {

inline constexpr std::u16string_view upperChars = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr std::u16string_view lowerChars = u"abcdefghijklmnopqrstuvwxyz";
inline constexpr std::u16string_view digitChars = u"0123456789";
inline constexpr std::u16string_view symbolChars = u"!#$%&()*+,-./:;<=>?@[]^_{|}~";
// Characters easily confused with one another when read or typed: O0o, Il1|, and the quotes.
inline constexpr std::u16string_view ambiguousChars = u"O0oIl1|`'\"";

// The longest password generate() makes. The preferences keep any stored length, so this bound
// keeps an absurd one from exhausting memory; the generator sheet offers at most 128.
inline constexpr std::int64_t maximumLength = 4096;

// Stored in the preferences and edited by the generator sheet. The member defaults are the
// default options: length 20, all four classes, ambiguous characters allowed.
struct Options {
    std::int64_t length = 20;
    bool upper = true;
    bool lower = true;
    bool digits = true;
    bool symbols = true;
    bool excludeAmbiguous = false;

    static constexpr Options defaults() { return Options{}; }

    // The enabled classes in the order upper, lower, digits, symbols, each without the ambiguous
    // characters when they are excluded; a class left empty is dropped.
    QStringList characterClasses() const;

    friend bool operator==(const Options&, const Options&) = default;
};

// Fills the buffer with random bytes and returns true, or returns false when it cannot.
using RandomSource = std::function<bool(std::span<std::uint8_t>)>;

// OpenSSL's RAND_bytes, then the kernel's getrandom(2) when OpenSSL fails; false when both fail.
bool systemRandom(std::span<std::uint8_t> out);

class Error : public std::exception {
  public:
    enum class Kind { randomSourceFailed, lengthTooLarge };

    explicit Error(Kind kind);

    Kind kind() const noexcept { return kind_; }

    // The Turkish text shown to the user; what() returns the same text.
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const Error& a, const Error& b) noexcept { return a.kind_ == b.kind_; }

  private:
    Kind kind_;
    std::string description_;
};

// A new password of options.length characters; the empty text when the length is below 1 or no
// class is enabled. Throws Error: randomSourceFailed when the random source fails (there is no
// fallback to a weaker generator), lengthTooLarge above maximumLength.
QString generate(const Options& options);
QString generate(const Options& options, const RandomSource& random);

}  // namespace PasswordGenerator
