#include "OmbrixCore/Kdbx/PayloadCipher.h"

#include "OmbrixCore/Crypto/AESCipher.h"
#include "OmbrixCore/Crypto/ChaCha20.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

namespace {

enum class Direction { decrypt, encrypt };

Bytes run(ByteView payload, KdbxCipher cipher, ByteView key, ByteView iv, Direction direction) {
    switch (cipher) {
        case KdbxCipher::aes256:
            if (iv.size() != 16) throw KdbxError::corruptedData("AES IV 16 bayt olmalı");
            return direction == Direction::decrypt ? AESCipher::cbcDecrypt(payload, key, iv)
                                                   : AESCipher::cbcEncrypt(payload, key, iv);
        case KdbxCipher::chacha20: {
            if (iv.size() != 12) throw KdbxError::corruptedData("ChaCha20 nonce 12 bayt olmalı");
            // XOR with the keystream: both directions are the same computation.
            ChaCha20Stream stream(key, iv, 0);
            return stream.process(payload);
        }
    }
    throw KdbxError::unsupportedCipher("bilinmeyen şifre");
}

}  // namespace

namespace KdbxCrypto {

Bytes decryptPayload(ByteView payload, KdbxCipher cipher, ByteView key, ByteView iv) {
    return run(payload, cipher, key, iv, Direction::decrypt);
}

Bytes encryptPayload(ByteView payload, KdbxCipher cipher, ByteView key, ByteView iv) {
    return run(payload, cipher, key, iv, Direction::encrypt);
}

}  // namespace KdbxCrypto
