#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "OmbrixCore/Foundation/Bytes.h"

// BLAKE2b (RFC 7693) with digests of 1 to 64 bytes and keys of up to 64 bytes, and the
// variable-length hash H' that Argon2 builds on it (RFC 9106, section 3.3). Lengths outside
// these limits are programming errors and stop the program.
struct Blake2b {
    // The initialisation vector of RFC 7693 (SHA-512's initial hash value).
    static constexpr std::array<std::uint64_t, 8> iv = {
        0x6A09E667F3BCC908, 0xBB67AE8584CAA73B, 0x3C6EF372FE94F82B, 0xA54FF53A5F1D36F1,
        0x510E527FADE682D1, 0x9B05688C2B3E6C1F, 0x1F83D9ABFB41BD6B, 0x5BE0CD19137E2179,
    };

    // The message schedule sigma of RFC 7693, with rows 10 and 11 repeating rows 0 and 1 so
    // that round r reads row r.
    static constexpr std::array<std::array<std::uint8_t, 16>, 12> sigma = {{
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
        {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
        {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4},
        {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
        {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13},
        {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
        {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11},
        {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
        {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5},
        {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
        {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    }};

    // Streaming state: construct, update any number of times, finalize once.
    class State {
      public:
        // outputLength 1 to 64, key at most 64 bytes.
        explicit State(std::ptrdiff_t outputLength, ByteView key = {});

        void update(ByteView data);

        // The digest, outputLength bytes. The state is spent afterwards.
        Bytes finalize();

      private:
        void ingest(const std::uint8_t* data, std::size_t count);
        void compress(bool final);

        std::array<std::uint64_t, 8> h_;
        std::array<std::uint8_t, 128> buf_{};
        std::ptrdiff_t bufLen_ = 0;
        std::uint64_t tLow_ = 0;
        std::uint64_t tHigh_ = 0;
        std::ptrdiff_t digestLength_;
    };

    // Keyed digest: outputLength 1 to 64, key 0 to 64 bytes.
    static Bytes hash(ByteView data, std::ptrdiff_t outputLength, ByteView key);

    // Unkeyed digest: outputLength 1 to 64.
    static Bytes hash(ByteView data, std::ptrdiff_t outputLength);

    // H' of RFC 9106: outputLength 1 to 4294967295 bytes.
    static Bytes longHash(ByteView data, std::int64_t outputLength);
};
