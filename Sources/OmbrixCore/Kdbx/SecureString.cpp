#include "OmbrixCore/Kdbx/SecureString.h"

#include <cstdint>

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
// history item). Bytes handed out are wiped from the reserve; the rest is wiped when it goes.
Bytes takePad(std::size_t size) {
    constexpr std::size_t reserveSize = 4096;
    if (size > reserveSize / 4) return KdbxCrypto::randomBytes(static_cast<std::ptrdiff_t>(size));
    thread_local struct Reserve {
        Bytes bytes;
        std::size_t used = 0;
        ~Reserve() { secureWipe(bytes); }
    } reserve;
    if (reserve.bytes.size() - reserve.used < size) {
        secureWipe(reserve.bytes);
        reserve.bytes = KdbxCrypto::randomBytes(static_cast<std::ptrdiff_t>(reserveSize));
        reserve.used = 0;
    }
    std::uint8_t* start = reserve.bytes.data() + reserve.used;
    Bytes pad(start, start + size);
    secureWipe(start, size);
    reserve.used += size;
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
