#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"

// What the engine never needs but tests, fuzz seeds and benchmarks use to build and take apart
// files: the payload cipher over a whole payload at once, and the version 3 block stream (the
// engine writes only version 4). Header-only, so that every one of them can include it.
namespace testsupport {

inline Bytes runPayloadCipher(ByteView payload, KdbxCipher cipher, ByteView key, ByteView iv,
                              KdbxCrypto::PayloadCipherStream::Direction direction) {
    KdbxCrypto::PayloadCipherStream stream(cipher, key, iv, direction);
    Bytes out;
    out.reserve(payload.size() + 16);
    stream.update(payload, out);
    stream.finish(out);
    return out;
}

// Throw as PayloadCipherStream does (the IV's length first).
inline Bytes decryptPayload(ByteView payload, KdbxCipher cipher, ByteView key, ByteView iv) {
    return runPayloadCipher(payload, cipher, key, iv, KdbxCrypto::PayloadCipherStream::Direction::decrypt);
}

inline Bytes encryptPayload(ByteView payload, KdbxCipher cipher, ByteView key, ByteView iv) {
    return runPayloadCipher(payload, cipher, key, iv, KdbxCrypto::PayloadCipherStream::Direction::encrypt);
}

// The whole hashed block stream of a version 3 payload, terminator included: each block its index,
// the SHA-256 of its data, its size and the data, all little-endian. blockSize: at least 1.
inline Bytes writeHashedBlocks(ByteView payload, std::size_t blockSize) {
    Bytes out;
    std::uint32_t index = 0;
    const auto le32 = [&](std::uint64_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto emit = [&](ByteView piece, const Bytes& hash) {
        le32(index++);
        out.insert(out.end(), hash.begin(), hash.end());
        le32(piece.size());
        out.insert(out.end(), piece.begin(), piece.end());
    };
    for (std::size_t offset = 0; offset < payload.size(); offset += blockSize) {
        const ByteView piece = payload.subspan(offset, std::min(blockSize, payload.size() - offset));
        emit(piece, KdbxCrypto::sha256(piece));
    }
    emit({}, Bytes(32, 0));
    return out;
}

}  // namespace testsupport
