#include "OmbrixCore/Kdbx/AesKdfRounds.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>
#include <new>

#include "OmbrixCore/Crypto/AESCipher.h"
#include "OmbrixCore/Crypto/OpenSSLAlgorithms.h"
#include "OmbrixCore/Foundation/Precondition.h"

namespace {

struct ContextDeleter {
    // EVP_CIPHER_CTX_free cleanses the expanded key it holds.
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

[[noreturn]] void fail(std::int32_t status) {
    ERR_clear_error();
    throw AESCipher::Error::cryptoFailure(status);
}

bool cpuHasAESNI() {
#if defined(__x86_64__)
    static const bool has = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
    return has;
#else
    return false;
#endif
}

}  // namespace

void aesKdfRoundsEVP(std::span<std::uint8_t, 32> block, std::span<const std::uint8_t, 32> key,
                     std::uint64_t rounds) {
    const EVP_CIPHER* ecb = OpenSSLAlgorithms::aes256ecb();
    std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter> context(EVP_CIPHER_CTX_new());
    if (!context) throw std::bad_alloc();
    if (ecb == nullptr || EVP_EncryptInit_ex(context.get(), ecb, nullptr, key.data(), nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
        if (OpenSSLAlgorithms::outOfMemory()) throw std::bad_alloc();
        fail(AESCipher::Error::setupStatus);
    }
    // ECB enciphers the two blocks of one call independently, so each call is one round of both
    // halves; without padding nothing is held back between calls.
    for (std::uint64_t round = 0; round < rounds; ++round) {
        int produced = 0;
        if (EVP_EncryptUpdate(context.get(), block.data(), &produced, block.data(), 32) != 1 ||
            produced != 32) {
            fail(AESCipher::Error::updateStatus);
        }
    }
}

bool aesKdfKernelAvailable(AesKdfKernel kernel) {
    switch (kernel) {
        case AesKdfKernel::evp:
            return true;
        case AesKdfKernel::aesni:
            return cpuHasAESNI();
    }
    return false;
}

AesKdfKernel aesKdfPreferredKernel() {
    return cpuHasAESNI() ? AesKdfKernel::aesni : AesKdfKernel::evp;
}

void aesKdfRounds(AesKdfKernel kernel, std::span<std::uint8_t, 32> block,
                  std::span<const std::uint8_t, 32> key, std::uint64_t rounds, const StopFlag* stop) {
    OMBRIX_PRECONDITION(aesKdfKernelAvailable(kernel), "AES-KDF kernel not available on this processor");
    const auto run = kernel == AesKdfKernel::aesni ? aesKdfRoundsAESNI : aesKdfRoundsEVP;
    if (!stop) {
        run(block, key, rounds);
        return;
    }
    // In batches of a few milliseconds at most (the key is expanded again for each, which costs
    // far less than one batch), with a look at the stop request between them.
    constexpr std::uint64_t batch = std::uint64_t{1} << 16;
    for (std::uint64_t left = rounds; left > 0;) {
        if (stopRequested(stop)) throw Stopped();
        const std::uint64_t now = left < batch ? left : batch;
        run(block, key, now);
        left -= now;
    }
}
