#include "OmbrixCore/Kdbx/VariantDictionary.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

namespace {

constexpr std::uint8_t typeCodes[] = {0x04, 0x05, 0x08, 0x0C, 0x0D, 0x18, 0x42};

template <class Int>
void appendLittleEndian(Bytes& out, Int value) {
    auto bits = static_cast<std::make_unsigned_t<Int>>(value);
    for (std::size_t i = 0; i < sizeof(Int); ++i) {
        out.push_back(static_cast<std::uint8_t>(bits & 0xFF));
        bits = static_cast<decltype(bits)>(bits >> 8);
    }
}

template <class Int>
Int fromLittleEndian(const Bytes& bytes) {
    std::make_unsigned_t<Int> bits = 0;
    for (std::size_t i = sizeof(Int); i-- > 0;) bits = static_cast<decltype(bits)>(bits << 8 | bytes[i]);
    return static_cast<Int>(bits);
}

std::string lowerHex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// The length of a key or value as the signed 32-bit field stores it.
std::int32_t lengthField(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw KdbxError::corruptedData("VariantDictionary öğesi 32 bitlik uzunluk alanına sığmıyor");
    }
    return static_cast<std::int32_t>(size);
}

}  // namespace

std::uint8_t VariantValue::typeCode() const noexcept {
    return typeCodes[storage_.index()];
}

Bytes VariantValue::payload() const {
    Bytes out;
    switch (kind()) {
        case Kind::uint32:
            appendLittleEndian(out, std::get<0>(storage_));
            break;
        case Kind::uint64:
            appendLittleEndian(out, std::get<1>(storage_));
            break;
        case Kind::boolean:
            out.push_back(std::get<2>(storage_) ? 0x01 : 0x00);
            break;
        case Kind::int32:
            appendLittleEndian(out, std::get<3>(storage_));
            break;
        case Kind::int64:
            appendLittleEndian(out, std::get<4>(storage_));
            break;
        case Kind::string: {
            const std::string& text = std::get<5>(storage_);
            out.assign(text.begin(), text.end());
            break;
        }
        case Kind::bytes:
            out = std::get<6>(storage_);
            break;
    }
    return out;
}

std::optional<std::uint64_t> VariantValue::asUInt64() const {
    switch (kind()) {
        case Kind::uint32:
            return std::get<0>(storage_);
        case Kind::uint64:
            return std::get<1>(storage_);
        case Kind::int32:
            if (std::get<3>(storage_) >= 0) return static_cast<std::uint64_t>(std::get<3>(storage_));
            return std::nullopt;
        case Kind::int64:
            if (std::get<4>(storage_) >= 0) return static_cast<std::uint64_t>(std::get<4>(storage_));
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<std::uint32_t> VariantValue::asUInt32() const {
    const std::optional<std::uint64_t> wide = asUInt64();
    if (!wide || *wide > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(*wide);
}

std::optional<Bytes> VariantValue::asData() const {
    if (kind() != Kind::bytes) return std::nullopt;
    return std::get<6>(storage_);
}

std::optional<std::string> VariantValue::asString() const {
    if (kind() != Kind::string) return std::nullopt;
    return std::get<5>(storage_);
}

bool operator==(const VariantValue& a, const VariantValue& b) {
    if (a.kind() != b.kind()) return false;
    if (a.kind() == VariantValue::Kind::string) {
        return UnicodeText::canonicallyEqual(std::get<5>(a.storage_), std::get<5>(b.storage_));
    }
    return a.storage_ == b.storage_;
}

std::optional<VariantValue> VariantDictionary::get(std::string_view key) const {
    const auto found = storage_.find(key);
    if (found == storage_.end()) return std::nullopt;
    return found->second;
}

void VariantDictionary::set(const std::string& key, VariantValue value) {
    const auto found = storage_.find(key);
    if (found != storage_.end()) {
        found->second = std::move(value);
        return;
    }
    keys_.push_back(key);
    storage_.emplace(key, std::move(value));
}

void VariantDictionary::remove(std::string_view key) {
    const auto found = storage_.find(key);
    if (found == storage_.end()) return;
    storage_.erase(found);
    keys_.erase(std::find(keys_.begin(), keys_.end(), key));
}

VariantDictionary VariantDictionary::parse(ByteView data) {
    KdbxReader reader(Bytes(data.begin(), data.end()));
    const std::uint16_t storedVersion = reader.u16();
    if ((storedVersion & 0xFF00) != 0x0100) {
        throw KdbxError::corruptedData("desteklenmeyen VariantDictionary sürümü " + lowerHex(storedVersion));
    }
    VariantDictionary dictionary;
    for (;;) {
        const std::uint8_t type = reader.u8();
        if (type == 0x00) return dictionary;
        const std::int32_t keyLength = reader.i32();
        if (keyLength < 0) throw KdbxError::corruptedData("VariantDictionary anahtar uzunluğu negatif");
        const std::string key = UnicodeText::decodeUTF8(reader.read(keyLength));
        const std::int32_t valueLength = reader.i32();
        if (valueLength < 0) throw KdbxError::corruptedData("VariantDictionary değer uzunluğu negatif");
        const Bytes value = reader.read(valueLength);

        auto requireLength = [&](std::size_t expected, const char* failure) {
            if (value.size() != expected) throw KdbxError::corruptedData(failure);
        };
        switch (type) {
            case 0x04:
                requireLength(4, "UInt32 alanı 4 bayt değil");
                dictionary.set(key, VariantValue::uint32(fromLittleEndian<std::uint32_t>(value)));
                break;
            case 0x05:
                requireLength(8, "UInt64 alanı 8 bayt değil");
                dictionary.set(key, VariantValue::uint64(fromLittleEndian<std::uint64_t>(value)));
                break;
            case 0x08:
                requireLength(1, "Bool alanı 1 bayt değil");
                dictionary.set(key, VariantValue::boolean(value[0] != 0));
                break;
            case 0x0C:
                requireLength(4, "Int32 alanı 4 bayt değil");
                dictionary.set(key, VariantValue::int32(fromLittleEndian<std::int32_t>(value)));
                break;
            case 0x0D:
                requireLength(8, "Int64 alanı 8 bayt değil");
                dictionary.set(key, VariantValue::int64(fromLittleEndian<std::int64_t>(value)));
                break;
            case 0x18:
                dictionary.set(key, VariantValue::string(UnicodeText::decodeUTF8(value)));
                break;
            case 0x42:
                dictionary.set(key, VariantValue::bytes(value));
                break;
            default:
                throw KdbxError::corruptedData("bilinmeyen VariantDictionary tipi 0x" + lowerHex(type));
        }
    }
}

Bytes VariantDictionary::serialize() const {
    Bytes out;
    appendLittleEndian(out, version);
    for (const std::string& key : keys_) {
        const VariantValue& value = storage_.find(key)->second;
        const Bytes payload = value.payload();
        out.push_back(value.typeCode());
        appendLittleEndian(out, lengthField(key.size()));
        out.insert(out.end(), key.begin(), key.end());
        appendLittleEndian(out, lengthField(payload.size()));
        out.insert(out.end(), payload.begin(), payload.end());
    }
    out.push_back(0x00);
    return out;
}

bool operator==(const VariantDictionary& a, const VariantDictionary& b) {
    if (a.keys_ != b.keys_) return false;
    for (const std::string& key : a.keys_) {
        if (!(a.storage_.find(key)->second == b.storage_.find(key)->second)) return false;
    }
    return true;
}
