#include "OmbrixCore/Kdbx/SecureString.h"

#include <cstdint>

#include "OmbrixCore/Crypto/Bytes.h"
#include "OmbrixCore/Crypto/SecureWipe.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/UnicodeText.h"

struct SecureString::Storage {
    Bytes cipher;
    Bytes pad;

    Storage(Bytes c, Bytes p) : cipher(std::move(c)), pad(std::move(p)) {}
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;
    ~Storage() {
        secureWipe(cipher);
        secureWipe(pad);
    }
};

namespace {

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
    Bytes pad = takePad(text.size());
    Bytes cipher(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        cipher[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(text[i]) ^ pad[i]);
    }
    storage_ = std::make_shared<const Storage>(std::move(cipher), std::move(pad));
}

std::string SecureString::value() const {
    if (!storage_) return {};
    Bytes plain(storage_->cipher.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<std::uint8_t>(storage_->cipher[i] ^ storage_->pad[i]);
    }
    std::string text = UnicodeText::decodeUTF8(plain);
    secureWipe(plain);
    return text;
}

bool SecureString::isEmpty() const noexcept {
    return !storage_ || storage_->cipher.empty();
}

bool operator==(const SecureString& a, const SecureString& b) {
    if (a.storage_ == b.storage_) return true;
    return UnicodeText::canonicallyEqual(a.value(), b.value());
}
