#include "Support/AESReference.h"

#include <algorithm>
#include <memory>

#include <openssl/err.h>
#include <openssl/evp.h>

namespace {

constexpr std::size_t keyLength = 32;
constexpr std::size_t ivLength = 16;
constexpr std::size_t blockLength = 16;

// OpenSSL counts lengths in int: larger inputs go through in pieces of this many bytes.
constexpr std::size_t maxPiece = std::size_t{1} << 30;

enum class Direction { encrypt, decrypt };

// The two uses: CBC with PKCS#7 padding for payloads, bare ECB blocks for the key transformation.
enum class Mode { cbcPadded, ecbUnpadded };

struct ContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

[[noreturn]] void fail(std::int32_t status) {
    // Leave no stale entries on this thread's OpenSSL error queue for unrelated callers.
    ERR_clear_error();
    throw AESCipher::Error::cryptoFailure(status);
}

// One cipher pass over the whole input. The output never exceeds the input plus one block:
// padding adds at most one block, decryption and ECB never grow the data.
Bytes crypt(ByteView data, ByteView key, const std::uint8_t* iv, Direction direction, Mode mode) {
    const bool padded = mode == Mode::cbcPadded;
    const EVP_CIPHER* cipher = padded ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
    std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter> context(EVP_CIPHER_CTX_new());
    if (!context) fail(AESCipher::Error::contextStatus);
    const int encrypting = direction == Direction::encrypt ? 1 : 0;
    if (EVP_CipherInit_ex(context.get(), cipher, nullptr, key.data(), iv, encrypting) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), padded ? 1 : 0) != 1) {
        fail(AESCipher::Error::setupStatus);
    }

    Bytes output(data.size() + blockLength);
    std::size_t written = 0;
    std::size_t consumed = 0;
    while (consumed < data.size()) {
        const std::size_t piece = std::min(maxPiece, data.size() - consumed);
        int produced = 0;
        if (EVP_CipherUpdate(context.get(), output.data() + written, &produced, data.data() + consumed,
                             static_cast<int>(piece)) != 1) {
            fail(AESCipher::Error::updateStatus);
        }
        written += static_cast<std::size_t>(produced);
        consumed += piece;
    }
    int produced = 0;
    if (EVP_CipherFinal_ex(context.get(), output.data() + written, &produced) != 1) {
        fail(AESCipher::Error::finalStatus);
    }
    written += static_cast<std::size_t>(produced);
    output.resize(std::min(written, output.size()));
    return output;
}

std::ptrdiff_t signedLength(std::size_t length) {
    return static_cast<std::ptrdiff_t>(length);
}

void checkKey(ByteView key) {
    if (key.size() != keyLength) throw AESCipher::Error::invalidKeyLength(signedLength(key.size()));
}

void checkCBC(ByteView key, ByteView iv) {
    checkKey(key);
    if (iv.size() != ivLength) throw AESCipher::Error::invalidIVLength(signedLength(iv.size()));
}

void checkECB(ByteView data, ByteView key) {
    if (data.size() % blockLength != 0) {
        throw AESCipher::Error::invalidBlockAlignment(signedLength(data.size()));
    }
    checkKey(key);
}

}  // namespace

Bytes AESReference::cbcEncrypt(ByteView data, ByteView key, ByteView iv) {
    checkCBC(key, iv);
    return crypt(data, key, iv.data(), Direction::encrypt, Mode::cbcPadded);
}

Bytes AESReference::cbcDecrypt(ByteView data, ByteView key, ByteView iv) {
    checkCBC(key, iv);
    return crypt(data, key, iv.data(), Direction::decrypt, Mode::cbcPadded);
}

Bytes AESReference::ecbEncryptNoPadding(ByteView data, ByteView key) {
    checkECB(data, key);
    return crypt(data, key, nullptr, Direction::encrypt, Mode::ecbUnpadded);
}

Bytes AESReference::ecbDecryptNoPadding(ByteView data, ByteView key) {
    checkECB(data, key);
    return crypt(data, key, nullptr, Direction::decrypt, Mode::ecbUnpadded);
}
