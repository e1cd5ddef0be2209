#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Foundation/StopRequest.h"

// The memory-hard password hash Argon2 of RFC 9106 in its variants d, i and id, versions 0x13
// and 0x10 (the earlier one, which overwrites blocks on every pass).
struct Argon2 {
    static constexpr std::ptrdiff_t wordsPerBlock = 128;
    static constexpr std::uint32_t syncPoints = 4;
    static constexpr std::ptrdiff_t addressesPerBlock = 128;

    // The raw value is the type number y of RFC 9106.
    enum class Variant : std::uint32_t { d = 0, i = 1, id = 2 };

    // The variant of a raw value; none for 3 or more.
    static std::optional<Variant> variant(std::uint32_t rawValue);

    class Error : public std::exception {
      public:
        enum class Kind {
            invalidParallelism,
            invalidMemory,
            invalidIterations,
            invalidOutputLength,
            invalidSaltLength,
            unsupportedVersion,
            allocationFailed,
        };

        static Error invalidParallelism(std::uint32_t parallelism);
        static Error invalidMemory(std::uint32_t memoryKiB);
        static Error invalidIterations(std::uint32_t iterations);
        static Error invalidOutputLength(std::ptrdiff_t outputLength);
        static Error invalidSaltLength(std::ptrdiff_t saltLength);
        static Error unsupportedVersion(std::uint32_t version);
        static Error allocationFailed();

        Kind kind() const noexcept { return kind_; }
        // The number the case carries: parallelism, KiB, iterations, length or version; 0 for
        // allocationFailed.
        std::int64_t value() const noexcept { return value_; }

        // The Turkish text shown to the user.
        const std::string& description() const noexcept { return description_; }
        const char* what() const noexcept override { return description_.c_str(); }

        friend bool operator==(const Error& a, const Error& b) noexcept {
            return a.kind_ == b.kind_ && a.value_ == b.value_;
        }

      private:
        Error(Kind kind, std::int64_t value);

        Kind kind_;
        std::int64_t value_;
        std::string description_;
    };

    // The tag of outputLength bytes. Throws Error for parameters out of range or memory that
    // cannot be had. outputLength must not exceed 4294967295 and every buffer must be shorter
    // than 4 GiB (their lengths are hashed as 32-bit numbers): a call outside that stops the
    // program. A raised `stop` ends the computation within a few milliseconds, every lane
    // included, with the matrix wiped, by throwing Stopped.
    static Bytes hash(ByteView password, ByteView salt, ByteView secret, ByteView associatedData,
                      std::uint32_t memoryKiB, std::uint32_t iterations, std::uint32_t parallelism,
                      std::ptrdiff_t outputLength, Variant variant, std::uint32_t version,
                      const StopFlag* stop = nullptr);
};
