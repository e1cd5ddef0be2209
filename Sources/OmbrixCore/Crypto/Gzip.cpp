#include "OmbrixCore/Crypto/Gzip.h"

#include <algorithm>
#include <array>
#include <limits>

#include <zlib.h>

namespace {

constexpr std::uint8_t magic1 = 0x1F;
constexpr std::uint8_t magic2 = 0x8B;
constexpr std::uint8_t methodDeflate = 8;
constexpr std::uint8_t osUnix = 3;

// Header flag bits of RFC 1952; the others (FTEXT, reserved) do not change the layout.
constexpr std::uint8_t flagHeaderCRC = 0x02;
constexpr std::uint8_t flagExtra = 0x04;
constexpr std::uint8_t flagName = 0x08;
constexpr std::uint8_t flagComment = 0x10;

constexpr std::size_t headerSize = 10;
constexpr std::size_t trailerSize = 8;
constexpr std::size_t chunkSize = 65536;

// zlib counts lengths in uInt: larger buffers are handed over in pieces.
constexpr std::size_t maxPiece = std::numeric_limits<uInt>::max();

// Raw DEFLATE: negative window bits leave out zlib's own framing.
constexpr int rawWindowBits = -15;
constexpr int memoryLevel = 8;

std::uint32_t readLittleEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void appendLittleEndian32(Bytes& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// Hands zlib the next piece of input once it has used up the previous one.
void feedInput(z_stream& stream, ByteView input, std::size_t& consumed) {
    if (stream.avail_in != 0 || consumed == input.size()) return;
    const std::size_t piece = std::min(maxPiece, input.size() - consumed);
    // zlib's interface is not const-correct; it never writes through next_in.
    stream.next_in = const_cast<Bytef*>(input.data() + consumed);
    stream.avail_in = static_cast<uInt>(piece);
    consumed += piece;
}

struct DeflateGuard {
    z_stream& stream;
    ~DeflateGuard() { deflateEnd(&stream); }
};

struct InflateGuard {
    z_stream& stream;
    ~InflateGuard() { inflateEnd(&stream); }
};

// Appends the raw DEFLATE encoding of input to out.
void deflateRaw(ByteView input, Bytes& out) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, rawWindowBits, memoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw Gzip::Error::streamFailure();
    }
    DeflateGuard guard{stream};

    // Room for the encoding at its worst, plus the trailer, so that nothing is moved later.
    const std::size_t base = out.size();
    const uLong bound = deflateBound(&stream, static_cast<uLong>(input.size()));
    if (bound > out.max_size() - base - trailerSize) throw Gzip::Error::streamFailure();
    out.reserve(base + bound + trailerSize);
    out.resize(base + bound);

    std::size_t consumed = 0;
    std::size_t written = 0;
    for (;;) {
        feedInput(stream, input, consumed);
        if (base + written == out.size()) out.resize(out.size() + chunkSize);  // bound exceeded
        const std::size_t room = std::min(maxPiece, out.size() - base - written);
        stream.next_out = out.data() + base + written;
        stream.avail_out = static_cast<uInt>(room);
        const uInt inBefore = stream.avail_in;
        const int flush = (consumed == input.size()) ? Z_FINISH : Z_NO_FLUSH;
        const int status = deflate(&stream, flush);
        const std::size_t produced = room - stream.avail_out;
        written += produced;
        if (status == Z_STREAM_END) break;
        if (status != Z_OK || (produced == 0 && stream.avail_in == inBefore)) {
            throw Gzip::Error::streamFailure();
        }
    }
    out.resize(base + written);
}

// DEFLATE cannot expand beyond about 1032 bytes per input byte (RFC 1951 block limits).
constexpr std::size_t maxDeflateRatio = 1032;

// The raw DEFLATE decoding of input, stopping at the final block; what follows it is ignored.
// `expectedSize` (the trailer's length field) only sizes the first allocation, and only as far as
// the input could possibly expand: a false length cannot make it large.
Bytes inflateRaw(ByteView input, std::size_t expectedSize) {
    if (input.empty()) return {};
    z_stream stream{};
    if (inflateInit2(&stream, rawWindowBits) != Z_OK) throw Gzip::Error::streamFailure();
    InflateGuard guard{stream};

    Bytes out;
    const std::size_t possible = input.size() > Gzip::maxInflatedSize / maxDeflateRatio
                                     ? Gzip::maxInflatedSize
                                     : input.size() * maxDeflateRatio;
    out.reserve(std::min({expectedSize, possible, Gzip::maxInflatedSize}));
    Bytes chunk(chunkSize);
    std::size_t consumed = 0;
    for (;;) {
        feedInput(stream, input, consumed);
        stream.next_out = chunk.data();
        stream.avail_out = static_cast<uInt>(chunk.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        // Z_OK means progress, also when the chunk came back full; Z_BUF_ERROR means none was
        // possible: the input ended before the final block.
        if (status != Z_OK && status != Z_STREAM_END) throw Gzip::Error::streamFailure();
        const std::size_t produced = chunk.size() - stream.avail_out;
        if (produced > Gzip::maxInflatedSize - out.size()) throw Gzip::Error::tooLarge();
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(produced));
        if (status == Z_STREAM_END) return out;
    }
}

// Moves pos past a zero-terminated header field (name or comment).
void skipZeroTerminated(ByteView data, std::size_t& pos) {
    if (pos >= data.size()) throw Gzip::Error::truncated();
    const auto end = data.begin() + static_cast<std::ptrdiff_t>(pos);
    const auto zero = std::find(end, data.end(), std::uint8_t{0});
    if (zero == data.end()) throw Gzip::Error::truncated();
    pos = static_cast<std::size_t>(zero - data.begin()) + 1;
}

}  // namespace

std::uint32_t Gzip::crc32(ByteView data) {
    // zlib's CRC-32 is the one of RFC 1952, computed several bytes at a time.
    uLong crc = ::crc32(0L, Z_NULL, 0);
    for (std::size_t offset = 0; offset < data.size();) {
        const std::size_t piece = std::min(maxPiece, data.size() - offset);
        crc = ::crc32(crc, data.data() + offset, static_cast<uInt>(piece));
        offset += piece;
    }
    return static_cast<std::uint32_t>(crc);
}

Bytes Gzip::compress(ByteView data) {
    Bytes out = {magic1, magic2, methodDeflate, 0, 0, 0, 0, 0, 0, osUnix};
    deflateRaw(data, out);
    appendLittleEndian32(out, crc32(data));
    appendLittleEndian32(out, static_cast<std::uint32_t>(data.size()));  // ISIZE is modulo 2^32
    return out;
}

Bytes Gzip::decompress(ByteView data) {
    const std::size_t size = data.size();
    if (size < headerSize + trailerSize) throw Error::truncated();
    if (data[0] != magic1 || data[1] != magic2 || data[2] != methodDeflate) throw Error::notGzip();

    const std::uint8_t flags = data[3];
    std::size_t pos = headerSize;
    if (flags & flagExtra) {
        // Checked against the length by the steps below.
        pos = headerSize + 2 + (std::size_t{data[10]} | std::size_t{data[11]} << 8);
    }
    if (flags & flagName) skipZeroTerminated(data, pos);
    if (flags & flagComment) skipZeroTerminated(data, pos);
    if (flags & flagHeaderCRC) {
        if (pos > size || size - pos < 2) throw Error::truncated();
        const std::uint32_t stored = std::uint32_t{data[pos]} | std::uint32_t{data[pos + 1]} << 8;
        if (stored != (crc32(data.first(pos)) & 0xFFFF)) throw Error::headerCRCMismatch();
        pos += 2;
    }
    if (pos > size || size - pos < trailerSize) throw Error::truncated();

    const std::uint32_t storedCRC = readLittleEndian32(data.data() + size - 8);
    const std::uint32_t storedSize = readLittleEndian32(data.data() + size - 4);
    Bytes inflated = inflateRaw(data.subspan(pos, size - pos - trailerSize), storedSize);

    if (storedSize != static_cast<std::uint32_t>(inflated.size())) {
        throw Error::sizeMismatch(storedSize, static_cast<std::int64_t>(inflated.size()));
    }
    const std::uint32_t actualCRC = crc32(inflated);
    if (actualCRC != storedCRC) throw Error::crcMismatch(storedCRC, actualCRC);
    return inflated;
}

Gzip::Error::Error(Kind kind, std::uint32_t expected, std::int64_t actual)
    : kind_(kind), expected_(expected), actual_(actual) {
    switch (kind) {
        case Kind::crcMismatch:
            description_ = "Gzip: CRC32 uyuşmuyor (beklenen " + std::to_string(expected) + ", bulunan " +
                           std::to_string(actual) + ").";
            break;
        case Kind::sizeMismatch:
            description_ = "Gzip: açılan boyut uyuşmuyor (beklenen " + std::to_string(expected) +
                           ", bulunan " + std::to_string(actual) + ").";
            break;
        case Kind::notGzip:
            description_ = "Gzip: geçersiz sihirli sayı.";
            break;
        case Kind::truncated:
            description_ = "Gzip: veri eksik.";
            break;
        case Kind::headerCRCMismatch:
            description_ = "Gzip: başlık CRC uyuşmuyor.";
            break;
        case Kind::streamFailure:
            description_ = "Gzip: sıkıştırma akışı başarısız.";
            break;
        case Kind::tooLarge:
            description_ = "Gzip: açılan veri 1 GiB sınırını aşıyor; bu büyüklükte bir veritabanı açılamaz.";
            break;
    }
}

Gzip::Error Gzip::Error::crcMismatch(std::uint32_t expected, std::uint32_t actual) {
    return Error(Kind::crcMismatch, expected, actual);
}

Gzip::Error Gzip::Error::sizeMismatch(std::uint32_t expected, std::int64_t actual) {
    return Error(Kind::sizeMismatch, expected, actual);
}

Gzip::Error Gzip::Error::notGzip() {
    return Error(Kind::notGzip, 0, 0);
}

Gzip::Error Gzip::Error::truncated() {
    return Error(Kind::truncated, 0, 0);
}

Gzip::Error Gzip::Error::headerCRCMismatch() {
    return Error(Kind::headerCRCMismatch, 0, 0);
}

Gzip::Error Gzip::Error::streamFailure() {
    return Error(Kind::streamFailure, 0, 0);
}
Gzip::Error Gzip::Error::tooLarge() {
    return Error(Kind::tooLarge, 0, 0);
}
