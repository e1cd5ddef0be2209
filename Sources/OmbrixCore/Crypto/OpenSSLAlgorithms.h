#pragma once

#include <openssl/evp.h>

// The OpenSSL implementations the engine uses, each fetched once for the life of the process.
//
// Each comes from a library context of its own. OpenSSL 3 marks a provider's algorithms as
// fetched even when building them failed half-way (an allocation failing), after which that
// algorithm can never be fetched from the same context again: every later load would fail. A
// fetch that fails here drops its context, and the next call starts afresh in a new one.
//
// Each returns null when the fetch failed; the caller reports that with its own error (see
// outOfMemory()).
namespace OpenSSLAlgorithms {

const EVP_CIPHER* aes256cbc();
const EVP_CIPHER* aes256ecb();
const EVP_MD* sha256();
const EVP_MD* sha512();
EVP_MAC* hmac();

// Whether the failure OpenSSL last recorded on this thread was an allocation's; clears the
// thread's error queue either way. A thread whose queue itself could not be made records
// nothing: that is taken as an allocation failure too.
bool outOfMemory();

}  // namespace OpenSSLAlgorithms
