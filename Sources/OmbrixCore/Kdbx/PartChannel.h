#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "OmbrixCore/Foundation/Bytes.h"

// Carries the parts of a payload from one stage of a Pipeline to the next, which runs on another
// thread; holds only a few parts, so that the whole payload never stands in memory. push() is
// called by one producer thread, pop() by one consumer thread; close() and abandon() from any.
//
// The parts are plaintext (decrypted payload, XML): every part the channel lets go of, dropped,
// abandoned, given back beyond the spares it keeps or left over at its end, is wiped first (all
// of its buffer). None of the calls a destructor makes (recycle, abandon) throws.
class PartChannel {
  public:
    static constexpr std::size_t defaultCapacity = 4;

    // `capacity`: how many parts it holds before push() waits.
    explicit PartChannel(std::size_t capacity = defaultCapacity);
    ~PartChannel();
    PartChannel(const PartChannel&) = delete;
    PartChannel& operator=(const PartChannel&) = delete;

    // Thrown to the consumer when the producer failed: the producer's error decides the load.
    struct UpstreamFailed {};

    // False once the consumer has given up: the part is dropped. A producer that need not report
    // errors of its own may stop there; the others run on to their end, so that their errors come
    // out as they would have.
    bool push(Bytes part);

    // The producer is done (failed: it stopped with an error of its own).
    void close(bool failed) {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        failed_ = failed;
        changed_.notify_all();
    }

    // The next part; nothing at the end. Throws UpstreamFailed.
    std::optional<Bytes> pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !parts_.empty() || closed_; });
        if (failed_) throw UpstreamFailed{};
        if (parts_.empty()) return std::nullopt;
        Bytes part = std::move(parts_.front());
        parts_.pop_front();
        changed_.notify_all();
        return part;
    }

    // A buffer for the next part: one the consumer gave back, else an empty one. The parts' buffers
    // then go round between the two threads instead of being freed on one and made anew on the
    // other, which would leave the size of the heap to the timing of the threads.
    Bytes spare() {
        Bytes part = take();
        part.clear();
        return part;
    }

    // A spare of `size` bytes whose content is whatever it held: only what it must grow by is
    // filled (with zeros), not all of it every time, for a producer that writes over it.
    Bytes spare(std::size_t size) {
        Bytes part = take();
        part.resize(size);
        return part;
    }

    // A part the consumer has read, for spare().
    void recycle(Bytes part) noexcept;

    // The consumer reads no more: pushes are dropped from now on.
    void abandon() noexcept;

  private:
    Bytes take() {
        const std::lock_guard lock(mutex_);
        if (spares_.empty()) return {};
        Bytes part = std::move(spares_.back());
        spares_.pop_back();
        return part;
    }

    const std::size_t capacity_;
    // Room for these is made up front: giving a part back never allocates. A few are enough for
    // a producer that takes one at a time, however many parts the channel holds.
    const std::size_t maxSpares_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Bytes> parts_;
    std::vector<Bytes> spares_;
    bool closed_ = false;
    bool failed_ = false;
    bool abandoned_ = false;
};

// Reads the parts of a channel as one stream of bytes, for the structures that lie across parts
// (hashed blocks, the inner header, the XML behind it). A read that runs past the end fails with
// KdbxReader's short read, naming what was left of the whole input. One thread at a time; the
// parts it has read go back to the producer (PartChannel::recycle).
class PartReader {
  public:
    explicit PartReader(PartChannel& in) : in_(in) {}
    ~PartReader() { letGo(); }  // never throws: letGo() does not
    PartReader(const PartReader&) = delete;
    PartReader& operator=(const PartReader&) = delete;

    // Exactly `count` bytes. Throws the short read, or UpstreamFailed.
    Bytes read(std::int64_t count);
    std::uint8_t u8() { return read(1)[0]; }
    std::uint32_t u32();

    // The unread rest of the current part, else the next part; empty at the end. The view is
    // valid until the next call.
    ByteView next();

    // While set, the bytes read from a part are wiped before the part is let go (the inner
    // header's stream key passes through here).
    void wipeWhatIsRead(bool wipe) { wipe_ = wipe; }

  private:
    bool advance();
    void letGo() noexcept;

    PartChannel& in_;
    Bytes part_;
    std::size_t at_ = 0;
    bool wipe_ = false;
};
