#include "OmbrixCore/Kdbx/SecureString.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "OmbrixCore/Crypto/SecretBytes.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

// Secret buffers: each block is wiped before it is freed.
struct SecureString::Storage {
    SecretBytes cipher;
    SecretBytes pad;
};

namespace {

// A working buffer wiped however its scope ends, a failed allocation included.
struct WipedBytes {
    Bytes bytes;

    ~WipedBytes() { secureWipe(bytes); }
};

// Pads come from a small per-thread reserve of secure random bytes: one call to the generator
// per few thousand bytes instead of one per secret (a load makes a secret for every entry and
// history item). Bytes handed out are wiped from the reserve at once.
//
// The reserve is plain thread-local storage with nothing to destroy: the C library registers a
// thread-local destructor with an allocation of its own and ends the process when that fails,
// where running out of memory must stay an error. What stays behind when the thread ends was
// never part of a pad.
Bytes takePad(std::size_t size) {
    constexpr std::size_t reserveSize = 4096;
    if (size > reserveSize / 4) return KdbxCrypto::randomBytes(static_cast<std::ptrdiff_t>(size));
    thread_local std::array<std::uint8_t, reserveSize> reserve;
    thread_local std::size_t used = reserveSize;
    if (reserveSize - used < size) {
        Bytes fresh = KdbxCrypto::randomBytes(static_cast<std::ptrdiff_t>(reserveSize));
        std::memcpy(reserve.data(), fresh.data(), reserveSize);
        secureWipe(fresh);
        used = 0;
    }
    std::uint8_t* start = reserve.data() + used;
    Bytes pad(start, start + size);
    secureWipe(start, size);
    used += size;
    return pad;
}

}  // namespace

SecureString::SecureString(std::string_view text) {
    if (text.empty()) return;
    WipedBytes pad{takePad(text.size())};
    WipedBytes cipher{Bytes(text.size())};
    for (std::size_t i = 0; i < text.size(); ++i) {
        cipher.bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(text[i]) ^ pad.bytes[i]);
    }
    storage_ = std::make_shared<const Storage>(Storage{SecretBytes(cipher.bytes), SecretBytes(pad.bytes)});
}

std::string SecureString::value() const {
    if (!storage_) return {};
    const std::uint8_t* cipher = storage_->cipher.data();
    const std::uint8_t* pad = storage_->pad.data();
    WipedBytes plain{Bytes(storage_->cipher.size())};
    for (std::size_t i = 0; i < plain.bytes.size(); ++i) {
        plain.bytes[i] = static_cast<std::uint8_t>(cipher[i] ^ pad[i]);
    }
    return UnicodeText::decodeUTF8(plain.bytes);
}

bool SecureString::isEmpty() const noexcept {
    return !storage_ || storage_->cipher.empty();
}

bool operator==(const SecureString& a, const SecureString& b) {
    if (a.storage_ == b.storage_) return true;
    return UnicodeText::canonicallyEqual(a.value(), b.value());
}
