#pragma once

#include <cstdint>

#include <QString>

namespace PasswordGenerator {

// How strong a password looks: estimated entropy in bits (never negative) and a score of 0 to 100
// derived from it.
struct Strength {
    std::int64_t score = 0;
    double entropyBits = 0.0;

    friend bool operator==(const Strength&, const Strength&) = default;
};

// Rates a password for the strength meter: entropy from the character classes present, lowered
// for repeated characters, ascending or descending runs and keyboard rows, capped for well-known
// weak passwords and their disguises. Characters are extended grapheme clusters classified by the
// Unicode character database; case mapping ignores the locale. Never fails.
Strength strength(const QString& password);

}  // namespace PasswordGenerator
