#pragma once

#include "OmbrixCore/Crypto/AESCipher.h"
#include "OmbrixCore/Foundation/Bytes.h"

// AES-256 in one pass over the whole input through OpenSSL's EVP interface: an oracle for the
// engine's streamed payload cipher and AES-KDF kernels, and a way to seal files built by hand.
// Every operation checks its input lengths and throws AESCipher::Error as the engine does.
namespace AESReference {

// Ciphertext of any-length data, padded to the next multiple of 16 (a whole block of padding
// when the length already is one).
Bytes cbcEncrypt(ByteView data, ByteView key, ByteView iv);

// Plaintext with the padding removed. A ciphertext that is not whole blocks or whose padding
// is invalid throws cryptoFailure; a wrong key with valid-looking padding is not detected.
Bytes cbcDecrypt(ByteView data, ByteView key, ByteView iv);

// Each 16-byte block enciphered on its own; data must be whole blocks.
Bytes ecbEncryptNoPadding(ByteView data, ByteView key);
Bytes ecbDecryptNoPadding(ByteView data, ByteView key);

}  // namespace AESReference
