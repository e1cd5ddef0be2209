#include "OmbrixCore/Crypto/SecureWipe.h"

#include <openssl/crypto.h>

void secureWipe(void* data, std::size_t size) {
    if (data != nullptr && size > 0) OPENSSL_cleanse(data, size);
}
