#include "OmbrixCore/Kdbx/KdbxReader.h"

#include <string>

#include "OmbrixCore/Kdbx/KdbxError.h"

KdbxError KdbxReader::shortRead(std::int64_t count, std::size_t left) {
    return KdbxError::corruptedData("beklenenden kısa veri (" + std::to_string(count) + " bayt istendi, " +
                                    std::to_string(left) + " kaldı)");
}

const std::uint8_t* KdbxReader::take(std::int64_t count) {
    const std::size_t left = remaining();
    if (count < 0 || static_cast<std::uint64_t>(count) > left) {
        throw shortRead(count, left);
    }
    const std::uint8_t* start = data_.data() + offset_;
    offset_ += static_cast<std::size_t>(count);
    return start;
}

Bytes KdbxReader::read(std::int64_t count) {
    const std::uint8_t* start = take(count);
    return Bytes(start, start + count);
}

std::uint64_t KdbxReader::littleEndian(int width) {
    const std::uint8_t* bytes = take(width);
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

std::uint8_t KdbxReader::u8() {
    return static_cast<std::uint8_t>(littleEndian(1));
}
std::uint16_t KdbxReader::u16() {
    return static_cast<std::uint16_t>(littleEndian(2));
}
std::uint32_t KdbxReader::u32() {
    return static_cast<std::uint32_t>(littleEndian(4));
}
std::uint64_t KdbxReader::u64() {
    return littleEndian(8);
}
std::int32_t KdbxReader::i32() {
    return static_cast<std::int32_t>(u32());
}
std::int64_t KdbxReader::i64() {
    return static_cast<std::int64_t>(u64());
}
