#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// AES with a 256-bit key runs where its data flows: the payload cipher streams CBC with PKCS#7
// padding (Kdbx/PayloadCipher.h) and the AES key transformation runs its ECB rounds in place
// (Kdbx/AesKdfRounds.h). Both report their failures with this one error type.
struct AESCipher {
    class Error;

    AESCipher() = delete;
};

class AESCipher::Error : public std::exception {
  public:
    enum class Kind { invalidKeyLength, invalidIVLength, invalidBlockAlignment, cryptoFailure };

    // Status numbers reported in cryptoFailure (our own; 0 never occurs).
    static constexpr std::int32_t contextStatus = 1;  // no cipher context could be made
    static constexpr std::int32_t setupStatus = 2;    // the cipher refused key, IV or options
    static constexpr std::int32_t updateStatus = 3;   // the cipher failed on the data
    static constexpr std::int32_t finalStatus = 4;    // incomplete last block or invalid padding

    static Error invalidKeyLength(std::ptrdiff_t length);
    static Error invalidIVLength(std::ptrdiff_t length);
    static Error invalidBlockAlignment(std::ptrdiff_t length);
    static Error cryptoFailure(std::int32_t status);

    Kind kind() const noexcept { return kind_; }
    // The offending length for the three length cases, 0 for cryptoFailure.
    std::ptrdiff_t length() const noexcept { return length_; }
    // The failing status for cryptoFailure, 0 for the other cases.
    std::int32_t status() const noexcept { return status_; }

    // The Turkish text shown to the user; what() returns the same text.
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const Error& a, const Error& b) noexcept {
        return a.kind_ == b.kind_ && a.length_ == b.length_ && a.status_ == b.status_;
    }

  private:
    Error(Kind kind, std::ptrdiff_t length, std::int32_t status);

    Kind kind_;
    std::ptrdiff_t length_;
    std::int32_t status_;
    std::string description_;
};
