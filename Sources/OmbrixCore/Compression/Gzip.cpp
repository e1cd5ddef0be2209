#include "OmbrixCore/Compression/Gzip.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include <zlib.h>

#include "OmbrixCore/Compression/GzipDeflatePool.h"
#include "OmbrixCore/Foundation/Precondition.h"

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
// What a Decompressor hands its sink at a time.
constexpr std::size_t outputPartSize = std::size_t{1} << 18;

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

// DEFLATE cannot expand beyond about 1032 bytes per input byte (RFC 1951 block limits).
constexpr std::size_t maxDeflateRatio = 1032;

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
    Bytes out;
    Compressor compressor([&](ByteView part) { out.insert(out.end(), part.begin(), part.end()); });
    compressor.write(data);
    compressor.finish();
    return out;
}

Bytes Gzip::decompress(ByteView data) {
    Bytes out;
    if (data.size() >= headerSize + trailerSize) {
        // The trailer's length sizes the first allocation, only as far as the input could
        // possibly expand: a false length cannot make it large.
        const std::size_t possible =
            data.size() > maxInflatedSize / maxDeflateRatio ? maxInflatedSize : data.size() * maxDeflateRatio;
        out.reserve(std::min<std::size_t>(
            {readLittleEndian32(data.data() + data.size() - 4), possible, maxInflatedSize}));
    }
    Decompressor decompressor([&](ByteView part) { out.insert(out.end(), part.begin(), part.end()); });
    for (std::size_t offset = 0; offset < data.size();) {
        const std::size_t piece = std::min(maxPiece, data.size() - offset);
        decompressor.write(data.subspan(offset, piece));
        offset += piece;
    }
    decompressor.finish();
    return out;
}

// --- Compressor ------------------------------------------------------------------------------

namespace {

// The window DEFLATE may refer back into: what each piece takes from the one before it.
constexpr std::size_t windowSize = 32768;

struct Piece {
    // The bytes of the piece behind up to windowSize bytes that came before it (the dictionary).
    Bytes data;
    std::size_t dictionary = 0;
    bool last = false;
    Bytes out;
    uLong crc = 0;
    bool done = false;
    bool failed = false;
    // What compressing it threw (an allocation that failed): the member's error.
    std::exception_ptr error;

    std::size_t length() const { return data.size() - dictionary; }
};

}  // namespace

namespace GzipInternal {

// A deflate state, reset for every piece; each thread of the pool keeps its own.
class PieceDeflater {
  public:
    PieceDeflater() = default;
    ~PieceDeflater() {
        if (ready_) deflateEnd(&stream_);
    }
    PieceDeflater(const PieceDeflater&) = delete;
    PieceDeflater& operator=(const PieceDeflater&) = delete;

    // Fills in out and crc, or sets failed; throws std::bad_alloc when zlib or the output cannot
    // have memory.
    void run(Piece& piece) {
        if (!ready_) {
            stream_ = z_stream{};
            const int status = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, rawWindowBits,
                                            memoryLevel, Z_DEFAULT_STRATEGY);
            if (status == Z_MEM_ERROR) throw std::bad_alloc();
            ready_ = status == Z_OK;
        }
        piece.failed = !ready_ || !deflatePiece(piece);
        if (!piece.failed) {
            piece.crc = ::crc32(0L, piece.data.data() + piece.dictionary, static_cast<uInt>(piece.length()));
        }
    }

  private:
    bool deflatePiece(Piece& piece) {
        if (deflateReset(&stream_) != Z_OK) return false;
        if (piece.dictionary > 0 &&
            deflateSetDictionary(&stream_, piece.data.data(), static_cast<uInt>(piece.dictionary)) != Z_OK) {
            return false;
        }
        const uInt length = static_cast<uInt>(piece.length());
        // The bound covers a finished stream; a sync flush adds its empty stored block.
        piece.out.resize(deflateBound(&stream_, length) + 16);
        stream_.next_in = piece.data.data() + piece.dictionary;
        stream_.avail_in = length;
        std::size_t written = 0;
        // A sync flush ends the piece on a byte boundary without ending the stream.
        const int flush = piece.last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
            if (written == piece.out.size()) piece.out.resize(piece.out.size() + chunkSize);
            stream_.next_out = piece.out.data() + written;
            stream_.avail_out = static_cast<uInt>(piece.out.size() - written);
            const int status = deflate(&stream_, flush);
            written = piece.out.size() - stream_.avail_out;
            if (status == Z_STREAM_END) break;
            if (status != Z_OK && status != Z_BUF_ERROR) return false;
            if (flush == Z_SYNC_FLUSH && stream_.avail_in == 0 && stream_.avail_out != 0) break;
        }
        piece.out.resize(written);
        return true;
    }

    z_stream stream_{};
    bool ready_ = false;
};

void DeflaterDeleter::operator()(PieceDeflater* deflater) const noexcept {
    delete deflater;
}

}  // namespace GzipInternal

using GzipInternal::PieceDeflater;

struct Gzip::Compressor::State {
    Sink sink;
    unsigned workers;
    std::size_t pieceSize;
    std::shared_ptr<Piece> current = std::make_shared<Piece>();
    bool headerWritten = false;
    bool finished = false;
    uLong crc = ::crc32(0L, Z_NULL, 0);
    std::uint64_t total = 0;
    // Pieces went to the pool: from then on every piece does, so that they are written in order.
    bool pooled = false;

    // Shared with the pool's threads under `mutex`: a piece handed over is compressed there, and
    // whichever thread finishes the oldest one passes every finished piece to the sink, in order,
    // one thread at a time.
    std::mutex mutex;
    std::condition_variable changed;
    // Handed over and not yet written, oldest first.
    std::deque<std::shared_ptr<Piece>> inFlight;
    std::vector<std::shared_ptr<Piece>> spare;
    std::exception_ptr error;
    // A thread is passing pieces to the sink.
    bool writing = false;
    // Tasks of this member in the pool that have not ended: the state outlives them.
    std::size_t running = 0;

    ~State() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return running == 0; });
    }

    // On a thread of the pool, with the thread's deflater (made at its first piece). Nothing may
    // leave it: every failure becomes the member's error.
    void compress(const std::shared_ptr<Piece>& piece, GzipInternal::OwnedDeflater& deflater) {
        try {
            if (!deflater) deflater.reset(new PieceDeflater());
            deflater->run(*piece);
        } catch (...) {
            piece->error = std::current_exception();
        }
        std::unique_lock lock(mutex);
        piece->done = true;
        writeFinished(lock);
        --running;
        changed.notify_all();
    }

    // Passes every finished piece at the front to the sink, unless another thread is at it.
    void writeFinished(std::unique_lock<std::mutex>& lock) {
        if (writing) return;
        writing = true;
        while (!inFlight.empty() && inFlight.front()->done) {
            std::shared_ptr<Piece> piece = std::move(inFlight.front());
            inFlight.pop_front();
            const bool skip = error != nullptr;
            lock.unlock();
            std::exception_ptr failure;
            if (!skip) {
                try {
                    writePiece(*piece);
                } catch (...) {
                    failure = std::current_exception();
                }
            }
            lock.lock();
            if (failure && !error) error = failure;
            recycle(std::move(piece));
        }
        writing = false;
        changed.notify_all();
    }

    // Passes a compressed piece to the sink, the member's header before the first.
    void writePiece(const Piece& piece) {
        if (piece.error) std::rethrow_exception(piece.error);
        if (piece.failed) throw Gzip::Error::streamFailure();
        if (!headerWritten) {
            static constexpr std::uint8_t header[headerSize] = {magic1, magic2, methodDeflate, 0, 0, 0, 0,
                                                                0,      0,      osUnix};
            sink(ByteView(header, headerSize));
            headerWritten = true;
        }
        sink(piece.out);
        crc = crc32_combine(crc, piece.crc, static_cast<z_off_t>(piece.length()));
        total += piece.length();
    }

    // A written piece's buffers serve again: no fresh memory (and page faults) for every piece.
    // Under `mutex` when pieces go to the pool.
    void recycle(std::shared_ptr<Piece> piece) noexcept {
        piece->data.clear();
        piece->out.clear();
        piece->dictionary = 0;
        piece->done = false;
        piece->error = nullptr;
        try {
            spare.push_back(std::move(piece));
        } catch (...) {
            // Not kept: the next piece takes fresh memory instead.
        }
    }

    std::shared_ptr<Piece> fresh() {
        const std::lock_guard lock(mutex);
        if (spare.empty()) return std::make_shared<Piece>();
        std::shared_ptr<Piece> piece = std::move(spare.back());
        spare.pop_back();
        return piece;
    }

    void submit(std::shared_ptr<Piece> piece) {
        // One worker, or a payload that fits one piece: compressed and written right here.
        if (!pooled && (workers <= 1 || piece->last)) {
            PieceDeflater().run(*piece);
            writePiece(*piece);
            const std::lock_guard lock(mutex);
            recycle(std::move(piece));
            return;
        }
        pooled = true;
        std::unique_lock lock(mutex);
        // One piece for each worker and two waiting: more would only stand in memory.
        changed.wait(lock, [&] { return error || inFlight.size() < std::size_t{workers} + 2; });
        if (error) std::rethrow_exception(error);
        inFlight.push_back(piece);
        ++running;
        lock.unlock();
        try {
            GzipInternal::DeflatePool::shared().post(
                [this, piece](GzipInternal::OwnedDeflater& deflater) { compress(piece, deflater); });
        } catch (...) {
            lock.lock();
            inFlight.pop_back();
            --running;
            throw;
        }
    }

    void write(ByteView data) {
        while (!data.empty()) {
            const std::size_t take = std::min(data.size(), pieceSize - current->length());
            current->data.insert(current->data.end(), data.begin(),
                                 data.begin() + static_cast<std::ptrdiff_t>(take));
            data = data.subspan(take);
            if (current->length() < pieceSize) break;
            std::shared_ptr<Piece> next = fresh();
            const std::size_t dictionary = std::min(windowSize, current->data.size());
            next->data.reserve(dictionary + pieceSize);
            next->data.assign(current->data.end() - static_cast<std::ptrdiff_t>(dictionary),
                              current->data.end());
            next->dictionary = dictionary;
            submit(std::exchange(current, std::move(next)));
        }
    }

    void finish() {
        current->last = true;
        submit(std::move(current));
        if (pooled) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return error || (inFlight.empty() && !writing); });
            if (error) std::rethrow_exception(error);
        }
        Bytes trailer;
        appendLittleEndian32(trailer, static_cast<std::uint32_t>(crc));
        appendLittleEndian32(trailer, static_cast<std::uint32_t>(total));  // ISIZE is modulo 2^32
        sink(trailer);
    }
};

Gzip::Compressor::Compressor(Sink sink, unsigned threads, std::size_t pieceSize)
    : state_(std::make_unique<State>()) {
    OMBRIX_PRECONDITION(pieceSize >= 1 && pieceSize <= maxPiece, "gzip piece size out of range");
    state_->sink = std::move(sink);
    if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
    state_->workers = threads;
    state_->pieceSize = pieceSize;
    state_->current->data.reserve(std::min(pieceSize, defaultPieceSize));
}

Gzip::Compressor::~Compressor() = default;

void Gzip::Compressor::write(ByteView data) {
    OMBRIX_PRECONDITION(!state_->finished, "gzip member already finished");
    state_->write(data);
}

void Gzip::Compressor::finish() {
    OMBRIX_PRECONDITION(!state_->finished, "gzip member already finished");
    state_->finished = true;
    state_->finish();
}

// --- Decompressor ----------------------------------------------------------------------------

struct Gzip::Decompressor::State {
    Sink sink;
    // Until the header has been read: every byte so far.
    Bytes head;
    bool inHeader = true;
    // Where the DEFLATE data starts, and every byte of the member seen so far.
    std::size_t bodyStart = 0;
    std::uint64_t total = 0;
    // The last bytes of the member, held back from inflating: the trailer, once it has ended.
    Bytes tail;

    z_stream stream{};
    bool streamReady = false;
    bool fed = false;
    bool ended = false;
    bool failed = false;
    bool tooBig = false;
    Bytes out = Bytes(outputPartSize);
    std::size_t outUsed = 0;
    std::uint64_t produced = 0;
    uLong crc = ::crc32(0L, Z_NULL, 0);

    ~State() {
        if (streamReady) inflateEnd(&stream);
    }

    // Reads the header from `head` once enough of it is there; true when it has been read.
    // `complete`: no more bytes will come, so a missing one is the truncation.
    bool readHeader(bool complete) {
        const std::size_t size = head.size();
        auto more = [&] {
            if (complete) throw Gzip::Error::truncated();
            return false;
        };
        if (size < headerSize + trailerSize) return more();
        if (head[0] != magic1 || head[1] != magic2 || head[2] != methodDeflate) throw Gzip::Error::notGzip();
        const std::uint8_t flags = head[3];
        std::size_t pos = headerSize;
        if (flags & flagExtra) pos = headerSize + 2 + (std::size_t{head[10]} | std::size_t{head[11]} << 8);
        for (const std::uint8_t flag : {flagName, flagComment}) {
            if (!(flags & flag)) continue;
            if (pos >= size) return more();
            const auto zero = std::find(head.begin() + static_cast<std::ptrdiff_t>(pos), head.end(), 0);
            if (zero == head.end()) return more();
            pos = static_cast<std::size_t>(zero - head.begin()) + 1;
        }
        if (flags & flagHeaderCRC) {
            if (pos > size || size - pos < 2) return more();
            const std::uint32_t stored = std::uint32_t{head[pos]} | std::uint32_t{head[pos + 1]} << 8;
            if (stored != (Gzip::crc32(ByteView(head).first(pos)) & 0xFFFF))
                throw Gzip::Error::headerCRCMismatch();
            pos += 2;
        }
        if (pos > size) return more();
        bodyStart = pos;
        inHeader = false;
        return true;
    }

    void write(ByteView data) {
        total += data.size();
        if (!inHeader) return body(data);
        head.insert(head.end(), data.begin(), data.end());
        if (!readHeader(false)) return;
        Bytes rest(head.begin() + static_cast<std::ptrdiff_t>(bodyStart), head.end());
        Bytes().swap(head);
        body(rest);
    }

    // Everything but the last trailerSize bytes goes to inflate.
    void body(ByteView data) {
        if (data.size() >= trailerSize) {
            inflateSome(tail);
            inflateSome(data.first(data.size() - trailerSize));
            tail.assign(data.end() - trailerSize, data.end());
            return;
        }
        tail.insert(tail.end(), data.begin(), data.end());
        if (tail.size() > trailerSize) {
            const std::size_t extra = tail.size() - trailerSize;
            const Bytes front(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(extra));
            tail.erase(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(extra));
            inflateSome(front);
        }
    }

    void flushOut() {
        if (outUsed == 0) return;
        sink(ByteView(out).first(outUsed));
        outUsed = 0;
    }

    // Inflates input; after the final block and after a failure the rest is not looked at.
    void inflateSome(ByteView input) {
        if (input.empty() || ended || failed) return;
        fed = true;
        if (!streamReady) {
            const int status = inflateInit2(&stream, rawWindowBits);
            if (status == Z_MEM_ERROR) throw std::bad_alloc();
            if (status != Z_OK) throw Gzip::Error::streamFailure();
            streamReady = true;
        }
        std::size_t consumed = 0;
        for (;;) {
            feedInput(stream, input, consumed);
            if (outUsed == out.size()) flushOut();
            stream.next_out = out.data() + outUsed;
            stream.avail_out = static_cast<uInt>(out.size() - outUsed);
            const int status = inflate(&stream, Z_NO_FLUSH);
            const std::size_t made = out.size() - outUsed - stream.avail_out;
            if (made > maxInflatedSize - produced) {
                failed = true;
                tooBig = true;
                return;
            }
            crc = ::crc32(crc, out.data() + outUsed, static_cast<uInt>(made));
            outUsed += made;
            produced += made;
            if (status == Z_STREAM_END) {
                ended = true;
                return;
            }
            const bool inputLeft = stream.avail_in != 0 || consumed != input.size();
            // Z_BUF_ERROR with all input used: the rest of the stream has not arrived yet.
            if (status == Z_BUF_ERROR && !inputLeft) return;
            // Its window is made at the first output: zlib without memory is not a broken stream.
            if (status == Z_MEM_ERROR) throw std::bad_alloc();
            if (status != Z_OK) {
                failed = true;
                return;
            }
            if (!inputLeft && stream.avail_out != 0) return;
        }
    }

    void finish() {
        if (inHeader) {
            readHeader(true);
            Bytes rest(head.begin() + static_cast<std::ptrdiff_t>(bodyStart), head.end());
            Bytes().swap(head);
            body(rest);
        }
        if (total - bodyStart < trailerSize) throw Gzip::Error::truncated();
        if (tooBig) throw Gzip::Error::tooLarge();
        // The DEFLATE data stopped before its final block, or could not be inflated.
        if (failed || (fed && !ended)) throw Gzip::Error::streamFailure();
        flushOut();
        const std::uint32_t storedCRC = readLittleEndian32(tail.data());
        const std::uint32_t storedSize = readLittleEndian32(tail.data() + 4);
        if (storedSize != static_cast<std::uint32_t>(produced)) {
            throw Gzip::Error::sizeMismatch(storedSize, static_cast<std::int64_t>(produced));
        }
        if (storedCRC != static_cast<std::uint32_t>(crc)) {
            throw Gzip::Error::crcMismatch(storedCRC, static_cast<std::uint32_t>(crc));
        }
    }
};

Gzip::Decompressor::Decompressor(Sink sink) : state_(std::make_unique<State>()) {
    state_->sink = std::move(sink);
}

Gzip::Decompressor::~Decompressor() = default;

void Gzip::Decompressor::write(ByteView data) {
    state_->write(data);
}

void Gzip::Decompressor::finish() {
    state_->finish();
}
