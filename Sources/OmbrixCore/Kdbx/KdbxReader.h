#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "OmbrixCore/Foundation/Bytes.h"

class KdbxError;

// Little-endian reader over a copy of the input, or over bytes the caller keeps alive for it.
// Every read either returns exactly the bytes asked for or throws the one short-read
// KdbxError::corruptedData and consumes nothing.
class KdbxReader {
  public:
    explicit KdbxReader(Bytes data) : buf_(std::move(data)), data_(buf_) {}
    // Reads `data` in place: a large input (a whole file) is not copied. The bytes must outlive
    // the reader.
    struct Borrowed {};
    KdbxReader(Borrowed, ByteView data) : data_(data) {}

    // A moved vector keeps its storage, so the view stays valid; a copy would not.
    KdbxReader(KdbxReader&&) noexcept = default;
    KdbxReader& operator=(KdbxReader&&) noexcept = default;
    KdbxReader(const KdbxReader&) = delete;
    KdbxReader& operator=(const KdbxReader&) = delete;

    // The next `count` bytes; a negative count or one beyond the end throws the short read.
    Bytes read(std::int64_t count);

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    std::int32_t i32();
    std::int64_t i64();

    std::size_t offset() const noexcept { return offset_; }
    std::size_t remaining() const noexcept { return data_.size() - offset_; }
    bool isAtEnd() const noexcept { return offset_ >= data_.size(); }
    // The unread bytes, not consumed; valid while the reader lives and is not read from.
    ByteView rest() const noexcept { return data_.subspan(offset_); }

    // The one short-read error: `count` bytes asked for, `left` remaining. Readers of the same
    // structures over other inputs (a stream of parts) report their short reads with it.
    static KdbxError shortRead(std::int64_t count, std::size_t left);

  private:
    // Checks `count` against what remains (never `offset + count`, which could overflow) and
    // returns where the bytes start, advancing past them.
    const std::uint8_t* take(std::int64_t count);
    std::uint64_t littleEndian(int width);

    Bytes buf_;
    ByteView data_;
    std::size_t offset_ = 0;
};
