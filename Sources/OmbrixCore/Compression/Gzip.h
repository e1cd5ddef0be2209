#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "OmbrixCore/Foundation/Bytes.h"

// One gzip member (RFC 1952) around raw DEFLATE data (RFC 1951): the compressed KDBX payload.
struct Gzip {
    class Error;
    class Compressor;
    class Decompressor;

    // Receives the bytes a Compressor or Decompressor produces, in order; the view is valid only
    // during the call.
    using Sink = std::function<void(ByteView)>;

    // Refused as tooLarge: a member that inflates to more than this many bytes. Far above any
    // real database, it keeps a small hostile file from exhausting memory.
    static constexpr std::size_t maxInflatedSize = std::size_t{1} << 30;

    // One member holding data: fixed header (no name, MTIME 0, OS 3), DEFLATE body, CRC-32 and
    // length modulo 2^32 (as Compressor writes it). Throws Error (streamFailure).
    static Bytes compress(ByteView data);

    // The content of one member. The header may carry an extra field, name, comment and header
    // CRC; the trailer is always the last 8 bytes. Throws Error (as Decompressor does).
    static Bytes decompress(ByteView data);

    // CRC-32 of RFC 1952 (reflected, polynomial 0xEDB88320); 0 for no bytes.
    static std::uint32_t crc32(ByteView data);

    Gzip() = delete;
};

class Gzip::Error : public std::exception {
  public:
    enum class Kind {
        crcMismatch,
        sizeMismatch,
        notGzip,
        truncated,
        headerCRCMismatch,
        streamFailure,
        tooLarge
    };

    // expected: the stored CRC-32; actual: that of the inflated data.
    static Error crcMismatch(std::uint32_t expected, std::uint32_t actual);
    // expected: the stored length field; actual: the inflated length.
    static Error sizeMismatch(std::uint32_t expected, std::int64_t actual);
    static Error notGzip();
    static Error truncated();
    static Error headerCRCMismatch();
    static Error streamFailure();
    // The content would be larger than maxInflatedSize.
    static Error tooLarge();

    Kind kind() const noexcept { return kind_; }
    // Payload of crcMismatch and sizeMismatch; 0 for the other cases.
    std::uint32_t expected() const noexcept { return expected_; }
    std::int64_t actual() const noexcept { return actual_; }

    // The Turkish text shown to the user; what() returns the same text.
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const Error& a, const Error& b) noexcept {
        return a.kind_ == b.kind_ && a.expected_ == b.expected_ && a.actual_ == b.actual_;
    }

  private:
    Error(Kind kind, std::uint32_t expected, std::int64_t actual);

    Kind kind_;
    std::uint32_t expected_;
    std::int64_t actual_;
    std::string description_;
};

// Writes one gzip member from data handed over in parts, compressing on several cores: the input
// is cut into pieces, each deflated on a worker with the 32 KiB before it as dictionary and ended
// on a byte boundary (a sync flush; the last piece ends the stream), so that the pieces joined in
// order form one ordinary DEFLATE stream that any gzip reader opens. The CRC-32s of the pieces are
// combined. The pieces are deflated by threads that every compressor of the process shares
// (started once, kept for the next member). The sink is called one call at a time, in order,
// from one of those threads (from the caller's when the input fits one piece or there is one
// worker, and always for the trailer); what it throws, and any failure of those threads (an
// allocation among them), comes out of a later write() or finish() on the caller's thread.
class Gzip::Compressor {
  public:
    // Small enough that the pieces in flight (one per thread and two more) stay a few MiB, large
    // enough that the 32 KiB of dictionary each repeats costs little.
    static constexpr std::size_t defaultPieceSize = std::size_t{256} << 10;

    // threads: how many pieces may be deflated at once; 0 takes one per core. pieceSize: at
    // least 1.
    explicit Compressor(Sink sink, unsigned threads = 0, std::size_t pieceSize = defaultPieceSize);
    // Waits for its pieces still on the pool's threads to end; what was not finished is dropped.
    ~Compressor();
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    // Throws Error (streamFailure) when a piece could not be compressed.
    void write(ByteView data);
    // The rest of the stream and the trailer. Nothing may be written afterwards.
    void finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Reads one gzip member handed over in parts and passes its content to the sink as it is
// inflated. The checks and errors are those of decompress(): an error that depends on the
// length of the whole member (truncated; streamFailure behind a sound header) is reported by
// finish(), the others as soon as they are certain.
class Gzip::Decompressor {
  public:
    explicit Decompressor(Sink sink);
    ~Decompressor();
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    void write(ByteView data);
    // Throws Error when the member was not whole and sound.
    void finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};
