#pragma once

#include "OmbrixCore/Crypto/Bytes.h"
#include "OmbrixCore/Kdbx/Models.h"

// The outer cipher over a whole KDBX payload: AES-256-CBC with PKCS#7 padding (16-byte IV) or
// ChaCha20 with block counter 0 (12-byte nonce).
namespace KdbxCrypto {

// Throws KdbxError::corruptedData when the IV has the wrong length for the cipher (checked before
// anything else); AES failures come through unchanged as AESCipher::Error.
Bytes decryptPayload(ByteView payload, KdbxCipher cipher, ByteView key, ByteView iv);
Bytes encryptPayload(ByteView payload, KdbxCipher cipher, ByteView key, ByteView iv);

}  // namespace KdbxCrypto
