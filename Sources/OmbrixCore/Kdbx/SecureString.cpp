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

SecureString::SecureString(std::string_view text) {
    if (text.empty()) return;
    Bytes pad = KdbxCrypto::randomBytes(static_cast<std::ptrdiff_t>(text.size()));
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
