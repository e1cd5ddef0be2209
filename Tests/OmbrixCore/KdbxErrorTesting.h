#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "OmbrixCore/Kdbx/KdbxError.h"

// Failure output shows the error's Turkish description (never a secret: no error carries one).
inline void PrintTo(const KdbxError& error, std::ostream* out) {
    *out << "KdbxError(" << error.description() << ")";
}

// The KdbxError that `fn` throws, or nothing when it returns normally.
template <class Fn>
std::optional<KdbxError> thrownKdbxError(Fn&& fn) {
    try {
        fn();
    } catch (const KdbxError& error) {
        return error;
    }
    return std::nullopt;
}

// The short-read detail of the byte reader.
inline KdbxError shortRead(long long asked, long long left) {
    return KdbxError::corruptedData("beklenenden kısa veri (" + std::to_string(asked) + " bayt istendi, " +
                                    std::to_string(left) + " kaldı)");
}
