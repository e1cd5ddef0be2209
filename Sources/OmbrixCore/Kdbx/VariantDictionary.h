#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "OmbrixCore/Foundation/Bytes.h"

// One typed value of a variant dictionary (KDBX 4 KDF parameters and public custom data).
class VariantValue {
  public:
    // In declaration order; the type codes of the byte format are 0x04, 0x05, 0x08, 0x0C, 0x0D,
    // 0x18 and 0x42.
    enum class Kind { uint32, uint64, boolean, int32, int64, string, bytes };
    using Storage =
        std::variant<std::uint32_t, std::uint64_t, bool, std::int32_t, std::int64_t, std::string, Bytes>;

    static VariantValue uint32(std::uint32_t v) { return VariantValue(Storage(std::in_place_index<0>, v)); }
    static VariantValue uint64(std::uint64_t v) { return VariantValue(Storage(std::in_place_index<1>, v)); }
    static VariantValue boolean(bool v) { return VariantValue(Storage(std::in_place_index<2>, v)); }
    static VariantValue int32(std::int32_t v) { return VariantValue(Storage(std::in_place_index<3>, v)); }
    static VariantValue int64(std::int64_t v) { return VariantValue(Storage(std::in_place_index<4>, v)); }
    static VariantValue string(std::string v) {
        return VariantValue(Storage(std::in_place_index<5>, std::move(v)));
    }
    static VariantValue bytes(Bytes v) { return VariantValue(Storage(std::in_place_index<6>, std::move(v))); }

    // Copies build the new value in place and then move it: the library's own variant copy,
    // when copying the text or bytes throws (no memory), destroys a value it never made.
    VariantValue(const VariantValue& other) : storage_(copy(other.storage_)) {}
    VariantValue& operator=(const VariantValue& other) {
        if (this != &other) storage_ = copy(other.storage_);
        return *this;
    }
    VariantValue(VariantValue&&) noexcept = default;
    VariantValue& operator=(VariantValue&&) noexcept = default;
    ~VariantValue() = default;

    Kind kind() const noexcept { return static_cast<Kind>(storage_.index()); }
    // The value itself, for callers that need the case's own type (e.g. a bool or an int32).
    const Storage& storage() const noexcept { return storage_; }

    std::uint8_t typeCode() const noexcept;
    // The value bytes of the byte format: integers little-endian, bool 0x01/0x00, text as UTF-8.
    Bytes payload() const;

    // Conversions that never change a value: unsigned or non-negative integers that fit.
    std::optional<std::uint64_t> asUInt64() const;
    std::optional<std::uint32_t> asUInt32() const;
    std::optional<Bytes> asData() const;
    std::optional<std::string> asString() const;

    // Same case and equal value; texts by canonical equivalence.
    friend bool operator==(const VariantValue& a, const VariantValue& b);

  private:
    explicit VariantValue(Storage storage) : storage_(std::move(storage)) {}
    static Storage copy(const Storage& from) {
        return std::visit(
            [](const auto& value) {
                return Storage(std::in_place_type<std::decay_t<decltype(value)>>, value);
            },
            from);
    }
    Storage storage_;
};

// The ordered, typed key-value map of KDBX 4. Keys keep the order of their first insertion
// and are compared byte for byte.
class VariantDictionary {
  public:
    // The format version written.
    static constexpr std::uint16_t version = 0x0100;

    VariantDictionary() = default;

    const std::vector<std::string>& keys() const noexcept { return keys_; }
    bool isEmpty() const noexcept { return keys_.empty(); }

    // The value stored under `key`, or nothing.
    std::optional<VariantValue> get(std::string_view key) const;
    // A new key goes to the end of keys(); an existing key keeps its place and gets the new value.
    void set(const std::string& key, VariantValue value);
    // Removes the key if present; later keys keep their order.
    void remove(std::string_view key);

    // Reads the byte format; throws KdbxError::corruptedData with the format's detail texts.
    static VariantDictionary parse(ByteView data);
    // Throws KdbxError::corruptedData when a key or value is too long for its 32-bit length field.
    Bytes serialize() const;

    // Same keys in the same order with equal values.
    friend bool operator==(const VariantDictionary& a, const VariantDictionary& b);

  private:
    std::vector<std::string> keys_;
    std::map<std::string, VariantValue, std::less<>> storage_;
};
