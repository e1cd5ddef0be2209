#include "OmbrixCore/Crypto/SecretBytes.h"

#include <atomic>

#include <openssl/crypto.h>

#include "OmbrixCore/Crypto/SecureWipe.h"

namespace {

std::atomic<SecretBytes::WipeObserver> wipeObserver{nullptr};

}  // namespace

SecretBytes::SecretBytes(ByteView bytes) : bytes_(bytes.begin(), bytes.end()) {}

SecretBytes::SecretBytes(const Bytes& bytes) : SecretBytes(ByteView(bytes)) {}

SecretBytes::SecretBytes(Bytes&& bytes) : SecretBytes(ByteView(bytes)) {
    secureWipe(bytes);
}

SecretBytes::SecretBytes(std::string_view text)
    : SecretBytes(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) {}

SecretBytes::SecretBytes(const char* text) : SecretBytes(std::string_view(text)) {}

SecretBytes::SecretBytes(const std::string& text) : SecretBytes(std::string_view(text)) {}

SecretBytes::SecretBytes(std::string&& text) : SecretBytes(std::string_view(text)) {
    secureWipe(text.data(), text.size());
}

void SecretBytes::append(ByteView bytes) {
    // A block outgrown here goes back through the allocator, wiped.
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void SecretBytes::clear() noexcept {
    decltype(bytes_)().swap(bytes_);
}

bool operator==(const SecretBytes& a, const SecretBytes& b) noexcept {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

void SecretBytes::setWipeObserver(WipeObserver observer) noexcept {
    wipeObserver.store(observer);
}

void SecretBytes::release(void* block, std::size_t size) noexcept {
    secureWipe(block, size);
    if (const WipeObserver observer = wipeObserver.load())
        observer(ByteView(static_cast<const std::uint8_t*>(block), size));
}
