#include "OmbrixCore/Kdbx/KdbxCrypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <sys/random.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <new>

#include "OmbrixCore/Crypto/OpenSSLAlgorithms.h"
#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct MacCtxFree {
    void operator()(EVP_MAC_CTX* ctx) const { EVP_MAC_CTX_free(ctx); }
};

// A set-up that failed for want of memory is reported as such, not as a failure of the digest.
[[noreturn]] void setupFailure(const char* failure) {
    if (OpenSSLAlgorithms::outOfMemory()) throw std::bad_alloc();
    throw KdbxError::cryptoFailure(failure);
}

Bytes digest(const EVP_MD* md, std::initializer_list<ByteView> parts, const char* failure) {
    if (md == nullptr) setupFailure(failure);
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) setupFailure(failure);
    bool ok = true;
    for (ByteView part : parts) {
        if (!ok) break;
        ok = EVP_DigestUpdate(ctx.get(), part.data(), part.size()) == 1;
    }
    Bytes out(static_cast<std::size_t>(EVP_MAX_MD_SIZE));
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(ctx.get(), out.data(), &length) != 1)
        throw KdbxError::cryptoFailure(failure);
    out.resize(length);
    return out;
}

bool fillFromKernel(std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = getrandom(data, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool fillFromOpenSSL(std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const int chunk = size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
        if (RAND_bytes(data, chunk) != 1) return false;
        data += chunk;
        size -= static_cast<std::size_t>(chunk);
    }
    return true;
}

}  // namespace

namespace KdbxCrypto {

Bytes sha256(ByteView data) {
    return sha256({data});
}

Bytes sha512(ByteView data) {
    return sha512({data});
}

Bytes sha256(std::initializer_list<ByteView> parts) {
    return digest(OpenSSLAlgorithms::sha256(), parts, "SHA-256 hesaplanamadı");
}

Bytes sha512(std::initializer_list<ByteView> parts) {
    return digest(OpenSSLAlgorithms::sha512(), parts, "SHA-512 hesaplanamadı");
}

Bytes hmacSha256(ByteView key, ByteView data) {
    return hmacSha256(key, {data});
}

Bytes hmacSha256(ByteView key, std::initializer_list<ByteView> parts) {
    constexpr const char* failure = "HMAC-SHA-256 hesaplanamadı";
    EVP_MAC* mac = OpenSSLAlgorithms::hmac();
    if (mac == nullptr) setupFailure(failure);
    std::unique_ptr<EVP_MAC_CTX, MacCtxFree> ctx(EVP_MAC_CTX_new(mac));
    if (!ctx) setupFailure(failure);
    char digestName[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digestName, 0),
                                 OSSL_PARAM_construct_end()};
    // OpenSSL treats a null key as "no key given"; an empty key is still a key for HMAC.
    static const std::uint8_t emptyKey = 0;
    const std::uint8_t* keyData = key.empty() ? &emptyKey : key.data();
    if (EVP_MAC_init(ctx.get(), keyData, key.size(), params) != 1) setupFailure(failure);
    bool ok = true;
    for (ByteView part : parts) {
        if (!ok) break;
        ok = EVP_MAC_update(ctx.get(), part.data(), part.size()) == 1;
    }
    Bytes out(32);
    std::size_t length = 0;
    if (!ok || EVP_MAC_final(ctx.get(), out.data(), &length, out.size()) != 1 || length != out.size()) {
        throw KdbxError::cryptoFailure(failure);
    }
    return out;
}

bool constantTimeEquals(ByteView a, ByteView b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

Bytes randomBytes(std::ptrdiff_t count) {
    OMBRIX_PRECONDITION(count >= 0, "randomBytes: negative count");
    Bytes out(static_cast<std::size_t>(count));
    if (out.empty()) return out;
    // The kernel's generator first: it needs no memory. OpenSSL's sets itself up on first use,
    // and one whose set-up ran out of memory stays unusable (and unsafe to call) for the rest of
    // the process.
    if (fillFromKernel(out.data(), out.size())) return out;
    if (fillFromOpenSSL(out.data(), out.size())) return out;
    throw KdbxError::cryptoFailure("güvenli rastgele bayt üretilemedi");
}

}  // namespace KdbxCrypto
