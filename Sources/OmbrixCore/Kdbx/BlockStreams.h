#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

class KdbxReader;

// The two block framings of a KDBX payload: HMAC-SHA-256 blocks (version 4) and SHA-256
// hashed blocks (version 3), plus the header HMAC that shares the block-key derivation.
namespace KdbxCrypto {

// Data bytes per HMAC block when writing.
inline constexpr std::size_t defaultBlockSize = 1048576;

// SHA-512(index as 8 bytes little-endian || hmacKey): the 64-byte HMAC key of one block.
Bytes blockKey(std::uint64_t index, ByteView hmacKey);

// HMAC-SHA-256 of the header bytes under the key of the reserved block number 2^64 - 1.
Bytes headerHMAC(ByteView header, ByteView hmacKey);

// Verifies and joins the HMAC blocks from the reader's position through the terminator (an empty
// block); the reader is left behind it. Throws KdbxError::blockHmacMismatch with the index of the
// first block that does not verify, or the reader's short read.
Bytes readHMACBlocks(KdbxReader& reader, ByteView hmacKey);

// The data of the HMAC block numbered `index` at the reader's position, verified; empty for the
// terminator. Throws as readHMACBlocks does.
Bytes readHMACBlock(KdbxReader& reader, std::uint64_t index, ByteView hmacKey);

// The whole HMAC block stream of the payload, terminator included. blockSize: 1 to 2^32 - 1.
Bytes writeHMACBlocks(ByteView payload, ByteView hmacKey, std::size_t blockSize);

// The HMAC block stream of a payload handed over in parts, appended to `out` block by block:
// the same bytes writeHMACBlocks gives for the parts joined. The key and `out` must outlive it.
class HMACBlockWriter {
  public:
    HMACBlockWriter(ByteView hmacKey, std::size_t blockSize, Bytes& out);

    void write(ByteView data);
    // The last, shorter block and the terminator.
    void finish();

  private:
    // The MAC (32 bytes) and the size (4) before each block's data.
    static constexpr std::size_t blockHeader = 36;

    void open();
    void close();

    ByteView hmacKey_;
    std::size_t blockSize_;
    Bytes& out_;
    std::uint64_t index_ = 0;
    // A block is being written; its header stands at blockStart_ in out_.
    bool open_ = false;
    std::size_t blockStart_ = 0;
};

// Verifies and joins hashed blocks through the terminator; throws KdbxError.
Bytes readHashedBlocks(KdbxReader& reader);

// The same over any reader with u32() and read(count) that throw the short read: each block's
// data goes to `sink` once verified, in order.
template <class Reader, class Sink>
void readHashedBlocks(Reader& reader, Sink&& sink) {
    for (std::uint32_t expected = 0;; ++expected) {
        const std::uint32_t stored = reader.u32();
        const Bytes storedHash = reader.read(32);
        const std::uint32_t size = reader.u32();
        if (stored != expected) {
            throw KdbxError::corruptedData("blok sırası bozuk (" + std::to_string(stored) +
                                           " != " + std::to_string(expected) + ")");
        }
        if (size == 0) {
            const bool zero =
                std::all_of(storedHash.begin(), storedHash.end(), [](std::uint8_t b) { return b == 0; });
            if (!zero) throw KdbxError::corruptedData("sonlandırıcı bloğun hash'i sıfır değil");
            return;
        }
        Bytes data = reader.read(size);
        if (!constantTimeEquals(sha256(data), storedHash)) throw KdbxError::blockHmacMismatch(expected);
        sink(std::move(data));
    }
}

}  // namespace KdbxCrypto
