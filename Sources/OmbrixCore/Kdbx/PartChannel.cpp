#include "OmbrixCore/Kdbx/PartChannel.h"

#include <algorithm>

#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/KdbxError.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"

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

void PartReader::letGo() {
    if (part_.capacity() == 0) return;
    if (wipe_) secureWipe(part_.data(), at_);
    in_.recycle(std::move(part_));
    part_ = Bytes();
    at_ = 0;
}
