#include "OmbrixCore/Kdbx/UUID.h"

#include <algorithm>

#include "OmbrixCore/Kdbx/KdbxCrypto.h"

UUID UUID::random() {
    const Bytes random = KdbxCrypto::randomBytes(16);
    ByteArray bytes{};
    std::copy(random.begin(), random.end(), bytes.begin());
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC variant
    return UUID(bytes);
}

std::string UUID::uuidString() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(digits[bytes_[i] >> 4]);
        text.push_back(digits[bytes_[i] & 0x0F]);
    }
    return text;
}

std::optional<UUID> UUID::fromKdbxBytes(ByteView bytes) {
    if (bytes.size() != 16) return std::nullopt;
    ByteArray array{};
    std::copy(bytes.begin(), bytes.end(), array.begin());
    return UUID(array);
}
