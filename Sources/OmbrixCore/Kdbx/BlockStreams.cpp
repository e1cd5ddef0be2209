#include "OmbrixCore/Kdbx/BlockStreams.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> littleEndian(std::uint64_t value) {
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

std::uint32_t u32Of(const Bytes& bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The MAC covers the block number (not stored: a reordered block fails), the size bytes as
// stored and the data.
Bytes blockHMAC(std::uint64_t index, ByteView sizeBytes, ByteView data, ByteView hmacKey) {
    const auto number = littleEndian<8>(index);
    return KdbxCrypto::hmacSha256(KdbxCrypto::blockKey(index, hmacKey), {number, sizeBytes, data});
}

void checkBlockSize(std::size_t blockSize) {
    OMBRIX_PRECONDITION(blockSize >= 1 && blockSize <= std::numeric_limits<std::uint32_t>::max(),
                        "block size must be 1 to 2^32 - 1");
}

}  // namespace

namespace KdbxCrypto {

Bytes blockKey(std::uint64_t index, ByteView hmacKey) {
    const auto number = littleEndian<8>(index);
    return sha512({number, hmacKey});
}

Bytes headerHMAC(ByteView header, ByteView hmacKey) {
    return hmacSha256(blockKey(std::numeric_limits<std::uint64_t>::max(), hmacKey), header);
}

Bytes readHMACBlock(KdbxReader& reader, std::uint64_t index, ByteView hmacKey) {
    const Bytes storedMAC = reader.read(32);
    const Bytes sizeBytes = reader.read(4);
    // The reader checks the size against what remains before anything is copied.
    Bytes data = reader.read(u32Of(sizeBytes));
    // The terminator's MAC is verified too: a cut-off stream must not pass as complete.
    if (!constantTimeEquals(blockHMAC(index, sizeBytes, data, hmacKey), storedMAC)) {
        throw KdbxError::blockHmacMismatch(static_cast<std::int64_t>(index));
    }
    return data;
}

Bytes readHMACBlocks(KdbxReader& reader, ByteView hmacKey) {
    Bytes payload;
    // The data cannot outgrow what is left of the input: one allocation instead of regrowing.
    payload.reserve(reader.remaining());
    for (std::uint64_t index = 0;; ++index) {
        const Bytes data = readHMACBlock(reader, index, hmacKey);
        if (data.empty()) return payload;
        payload.insert(payload.end(), data.begin(), data.end());
    }
}

Bytes writeHMACBlocks(ByteView payload, ByteView hmacKey, std::size_t blockSize) {
    Bytes out;
    out.reserve(payload.size() + (payload.size() / std::max<std::size_t>(blockSize, 1) + 2) * 36);
    HMACBlockWriter writer(hmacKey, blockSize, out);
    writer.write(payload);
    writer.finish();
    return out;
}

HMACBlockWriter::HMACBlockWriter(ByteView hmacKey, std::size_t blockSize, Bytes& out)
    : hmacKey_(hmacKey), blockSize_(blockSize), out_(out) {
    checkBlockSize(blockSize);
}

void HMACBlockWriter::write(ByteView data) {
    while (!data.empty()) {
        if (!open_) open();
        const std::size_t inBlock = out_.size() - blockStart_ - blockHeader;
        const std::size_t take = std::min(blockSize_ - inBlock, data.size());
        out_.insert(out_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
        data = data.subspan(take);
        if (inBlock + take == blockSize_) close();
    }
}

void HMACBlockWriter::finish() {
    if (open_) close();
    open();
    close();
}

// The block's MAC and size go before its data, which goes straight into the output: room for
// them is left now and filled when the block is complete.
void HMACBlockWriter::open() {
    blockStart_ = out_.size();
    out_.resize(out_.size() + blockHeader);
    open_ = true;
}

void HMACBlockWriter::close() {
    const std::size_t size = out_.size() - blockStart_ - blockHeader;
    const auto sizeBytes = littleEndian<4>(size);
    const Bytes mac =
        blockHMAC(index_, sizeBytes, ByteView(out_).subspan(blockStart_ + blockHeader, size), hmacKey_);
    std::copy(mac.begin(), mac.end(), out_.begin() + static_cast<std::ptrdiff_t>(blockStart_));
    std::copy(sizeBytes.begin(), sizeBytes.end(),
              out_.begin() + static_cast<std::ptrdiff_t>(blockStart_ + mac.size()));
    ++index_;
    open_ = false;
}

Bytes readHashedBlocks(KdbxReader& reader) {
    Bytes payload;
    payload.reserve(reader.remaining());
    readHashedBlocks(reader, [&](Bytes data) { payload.insert(payload.end(), data.begin(), data.end()); });
    return payload;
}

}  // namespace KdbxCrypto
