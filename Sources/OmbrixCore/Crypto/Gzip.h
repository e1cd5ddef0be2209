#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "OmbrixCore/Crypto/Bytes.h"

// One gzip member (RFC 1952) around raw DEFLATE data (RFC 1951): the compressed KDBX payload.
struct Gzip {
    class Error;

    // Refused as tooLarge: a member that inflates to more than this many bytes. Far above any
    // real database, it keeps a small hostile file from exhausting memory.
    static constexpr std::size_t maxInflatedSize = std::size_t{1} << 30;

    // One member holding data: fixed header (no name, MTIME 0, OS 3), DEFLATE body, CRC-32 and
    // length modulo 2^32. Throws Error (streamFailure).
    static Bytes compress(ByteView data);

    // The content of one member. The header may carry an extra field, name, comment and header
    // CRC; the trailer is always the last 8 bytes. Throws Error.
    static Bytes decompress(ByteView data);

    // CRC-32 of RFC 1952 (reflected, polynomial 0xEDB88320); 0 for no bytes.
    static std::uint32_t crc32(ByteView data);

    Gzip() = delete;
};

class Gzip::Error : public std::exception {
  public:
    enum class Kind { crcMismatch, sizeMismatch, notGzip, truncated, headerCRCMismatch, streamFailure, tooLarge };

    // expected: the stored CRC-32; actual: that of the inflated data.
    static Error crcMismatch(std::uint32_t expected, std::uint32_t actual);
    // expected: the stored length field; actual: the inflated length.
    static Error sizeMismatch(std::uint32_t expected, std::int64_t actual);
    static Error notGzip();
    static Error truncated();
    static Error headerCRCMismatch();
    static Error streamFailure();
    // The content would be larger than maxInflatedSize.
    static Error tooLarge();

    Kind kind() const noexcept { return kind_; }
    // Payload of crcMismatch and sizeMismatch; 0 for the other cases.
    std::uint32_t expected() const noexcept { return expected_; }
    std::int64_t actual() const noexcept { return actual_; }

    // The Turkish text shown to the user; what() returns the same text.
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const Error& a, const Error& b) noexcept {
        return a.kind_ == b.kind_ && a.expected_ == b.expected_ && a.actual_ == b.actual_;
    }

  private:
    Error(Kind kind, std::uint32_t expected, std::int64_t actual);

    Kind kind_;
    std::uint32_t expected_;
    std::int64_t actual_;
    std::string description_;
};
