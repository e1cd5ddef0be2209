#include "OmbrixCore/Kdbx/PartChannel.h"

#include <algorithm>

#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"

namespace {

// Wipes all the buffer ever held, not only its present size: a spare reused for a shorter part
// still holds the tail of the longer one before it. Growing to the capacity allocates nothing.
void wipe(Bytes& part) noexcept {
    part.resize(part.capacity());
    secureWipe(part);
}

}  // namespace

PartChannel::PartChannel(std::size_t capacity)
    : capacity_(capacity), maxSpares_(std::min(capacity, defaultCapacity) + 2) {
    spares_.reserve(maxSpares_);
}

PartChannel::~PartChannel() {
    for (Bytes& part : parts_) wipe(part);
    for (Bytes& part : spares_) wipe(part);
}

bool PartChannel::push(Bytes part) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return abandoned_ || parts_.size() < capacity_; });
    if (abandoned_) {
        wipe(part);
        return false;
    }
    try {
        parts_.push_back(std::move(part));
    } catch (...) {
        wipe(part);
        throw;
    }
    changed_.notify_all();
    return true;
}

void PartChannel::recycle(Bytes part) noexcept {
    {
        const std::lock_guard lock(mutex_);
        if (!abandoned_ && spares_.size() < maxSpares_) {
            spares_.push_back(std::move(part));
            return;
        }
    }
    wipe(part);
}

void PartChannel::abandon() noexcept {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
    for (Bytes& part : parts_) wipe(part);
    for (Bytes& part : spares_) wipe(part);
    parts_.clear();
    spares_.clear();
    changed_.notify_all();
}

Bytes PartReader::read(std::int64_t count) {
    if (count < 0) {
        std::size_t left = part_.size() - at_;
        while (advance()) left += part_.size();
        throw KdbxReader::shortRead(count, left);
    }
    const auto wanted = static_cast<std::uint64_t>(count);
    Bytes out;
    // A length read from the file is not trusted for more than the bytes that arrive.
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, std::uint64_t{1} << 20)));
    while (out.size() < wanted) {
        if (at_ == part_.size() && !advance()) throw KdbxReader::shortRead(count, out.size());
        const auto take =
            static_cast<std::size_t>(std::min<std::uint64_t>(wanted - out.size(), part_.size() - at_));
        out.insert(out.end(), part_.begin() + static_cast<std::ptrdiff_t>(at_),
                   part_.begin() + static_cast<std::ptrdiff_t>(at_ + take));
        at_ += take;
    }
    return out;
}

std::uint32_t PartReader::u32() {
    const Bytes bytes = read(4);
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

ByteView PartReader::next() {
    if (at_ == part_.size() && !advance()) return {};
    const ByteView rest = ByteView(part_).subspan(at_);
    at_ = part_.size();
    return rest;
}

bool PartReader::advance() {
    letGo();
    std::optional<Bytes> part = in_.pop();
    if (!part) return false;
    part_ = std::move(*part);
    at_ = 0;
    return true;
}

void PartReader::letGo() noexcept {
    if (part_.capacity() == 0) return;
    if (wipe_) secureWipe(part_.data(), at_);
    in_.recycle(std::move(part_));
    part_ = Bytes();
    at_ = 0;
}
