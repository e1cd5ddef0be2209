#include "OmbrixCore/Kdbx/PayloadCipher.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <new>
#include <optional>

#include "OmbrixCore/Crypto/AESCipher.h"
#include "OmbrixCore/Crypto/ChaCha20.h"
#include "OmbrixCore/Crypto/OpenSSLAlgorithms.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

namespace {

// OpenSSL counts lengths in int: larger parts go through in pieces.
constexpr std::size_t maxPiece = std::size_t{1} << 30;
constexpr std::size_t aesBlock = 16;

struct ContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

[[noreturn]] void aesFailure(std::int32_t status) {
    // Leave no stale entries on this thread's OpenSSL error queue for unrelated callers.
    ERR_clear_error();
    throw AESCipher::Error::cryptoFailure(status);
}

}  // namespace

namespace KdbxCrypto {

struct PayloadCipherStream::State {
    std::unique_ptr<EVP_CIPHER_CTX, ContextFree> aes;
    std::optional<ChaCha20Stream> chacha;
};

PayloadCipherStream::PayloadCipherStream(KdbxCipher cipher, ByteView key, ByteView iv, Direction direction)
    : state_(std::make_unique<State>()) {
    switch (cipher) {
        case KdbxCipher::aes256: {
            if (iv.size() != 16) throw KdbxError::corruptedData("AES IV 16 bayt olmalı");
            if (key.size() != 32)
                throw AESCipher::Error::invalidKeyLength(static_cast<std::ptrdiff_t>(key.size()));
            const EVP_CIPHER* cbc = OpenSSLAlgorithms::aes256cbc();
            state_->aes.reset(EVP_CIPHER_CTX_new());
            if (!state_->aes) throw std::bad_alloc();
            const int encrypting = direction == Direction::encrypt ? 1 : 0;
            if (cbc == nullptr ||
                EVP_CipherInit_ex(state_->aes.get(), cbc, nullptr, key.data(), iv.data(), encrypting) != 1 ||
                EVP_CIPHER_CTX_set_padding(state_->aes.get(), 1) != 1) {
                // The cipher could not be made: a fault of this process, never of the file or key.
                if (OpenSSLAlgorithms::outOfMemory()) throw std::bad_alloc();
                aesFailure(AESCipher::Error::setupStatus);
            }
            return;
        }
        case KdbxCipher::chacha20:
            if (iv.size() != 12) throw KdbxError::corruptedData("ChaCha20 nonce 12 bayt olmalı");
            // XOR with the keystream: both directions are the same computation.
            state_->chacha.emplace(key, iv, 0);
            return;
    }
    throw KdbxError::unsupportedCipher("bilinmeyen şifre");
}

PayloadCipherStream::~PayloadCipherStream() = default;

void PayloadCipherStream::update(ByteView input, Bytes& out) {
    if (state_->chacha) {
        const Bytes processed = state_->chacha->process(input);
        out.insert(out.end(), processed.begin(), processed.end());
        return;
    }
    for (std::size_t consumed = 0; consumed < input.size();) {
        const std::size_t piece = std::min(maxPiece, input.size() - consumed);
        const std::size_t base = out.size();
        out.resize(base + piece + aesBlock);
        int produced = 0;
        if (EVP_CipherUpdate(state_->aes.get(), out.data() + base, &produced, input.data() + consumed,
                             static_cast<int>(piece)) != 1) {
            out.resize(base);
            aesFailure(AESCipher::Error::updateStatus);
        }
        out.resize(base + static_cast<std::size_t>(produced));
        consumed += piece;
    }
}

void PayloadCipherStream::finish(Bytes& out) {
    if (state_->chacha) return;
    const std::size_t base = out.size();
    out.resize(base + aesBlock);
    int produced = 0;
    if (EVP_CipherFinal_ex(state_->aes.get(), out.data() + base, &produced) != 1) {
        out.resize(base);
        aesFailure(AESCipher::Error::finalStatus);
    }
    out.resize(base + static_cast<std::size_t>(produced));
}

}  // namespace KdbxCrypto
