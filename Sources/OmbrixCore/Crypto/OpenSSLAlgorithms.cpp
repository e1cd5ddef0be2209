#include "OmbrixCore/Crypto/OpenSSLAlgorithms.h"

#include <openssl/err.h>

#include <mutex>

namespace {

template <class Algorithm>
struct Fetched {
    std::mutex mutex;
    OSSL_LIB_CTX* context = nullptr;
    Algorithm* algorithm = nullptr;

    template <class Fetch>
    Algorithm* get(Fetch fetch, const char* name) {
        const std::lock_guard lock(mutex);
        if (algorithm != nullptr) return algorithm;
        context = OSSL_LIB_CTX_new();
        if (context != nullptr) algorithm = fetch(context, name, nullptr);
        if (algorithm == nullptr && context != nullptr) {
            OSSL_LIB_CTX_free(context);
            context = nullptr;
        }
        return algorithm;
    }
};

}  // namespace

namespace OpenSSLAlgorithms {

// Kept for the life of the process, contexts included: nothing frees them before exit.
const EVP_CIPHER* aes256cbc() {
    static Fetched<EVP_CIPHER> fetched;
    return fetched.get(EVP_CIPHER_fetch, "AES-256-CBC");
}

const EVP_CIPHER* aes256ecb() {
    static Fetched<EVP_CIPHER> fetched;
    return fetched.get(EVP_CIPHER_fetch, "AES-256-ECB");
}

const EVP_MD* sha256() {
    static Fetched<EVP_MD> fetched;
    return fetched.get(EVP_MD_fetch, "SHA2-256");
}

const EVP_MD* sha512() {
    static Fetched<EVP_MD> fetched;
    return fetched.get(EVP_MD_fetch, "SHA2-512");
}

EVP_MAC* hmac() {
    static Fetched<EVP_MAC> fetched;
    return fetched.get(EVP_MAC_fetch, "HMAC");
}

bool outOfMemory() {
    const unsigned long error = ERR_peek_last_error();
    ERR_clear_error();
    return error == 0 || ERR_GET_REASON(error) == ERR_R_MALLOC_FAILURE;
}

}  // namespace OpenSSLAlgorithms
