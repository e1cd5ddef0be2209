#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "OmbrixCore/Foundation/Bytes.h"

// A 16-byte universally unique identifier. The default value is the nil UUID (all zeros);
// UUID::random() makes a fresh version 4 one.
class UUID {
  public:
    using ByteArray = std::array<std::uint8_t, 16>;

    constexpr UUID() = default;
    constexpr explicit UUID(const ByteArray& bytes) : bytes_(bytes) {}

    // A random (version 4, RFC 9562) UUID from the secure random source.
    static UUID random();

    // Parses the 8-4-4-4-12 hexadecimal form, either letter case; nothing for any other text.
    static constexpr std::optional<UUID> fromString(std::string_view text);

    // The canonical text: 32 upper-case hexadecimal digits in groups of 8-4-4-4-12.
    std::string uuidString() const;

    // The 16 bytes as KDBX stores them: in the order the canonical text lists them.
    Bytes kdbxBytes() const { return Bytes(bytes_.begin(), bytes_.end()); }
    // Nothing unless exactly 16 bytes are given.
    static std::optional<UUID> fromKdbxBytes(ByteView bytes);

    constexpr const ByteArray& bytes() const { return bytes_; }

    friend constexpr bool operator==(const UUID&, const UUID&) = default;
    friend constexpr auto operator<=>(const UUID&, const UUID&) = default;

  private:
    ByteArray bytes_{};
};

constexpr std::optional<UUID> UUID::fromString(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    ByteArray bytes{};
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[byte++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return UUID(bytes);
}

template <>
struct std::hash<UUID> {
    std::size_t operator()(const UUID& uuid) const noexcept {
        std::uint64_t high = 0, low = 0;
        std::memcpy(&high, uuid.bytes().data(), 8);
        std::memcpy(&low, uuid.bytes().data() + 8, 8);
        return std::hash<std::uint64_t>{}(high ^ (low * 0x9E3779B97F4A7C15ULL));
    }
};
