#include "OmbrixCore/Crypto/AESCipher.h"

AESCipher::Error::Error(Kind kind, std::ptrdiff_t length, std::int32_t status)
    : kind_(kind), length_(length), status_(status) {
    switch (kind) {
        case Kind::invalidKeyLength:
            description_ = "AES: anahtar 32 byte olmalı (" + std::to_string(length) + ").";
            break;
        case Kind::invalidIVLength:
            description_ = "AES: IV 16 byte olmalı (" + std::to_string(length) + ").";
            break;
        case Kind::invalidBlockAlignment:
            description_ = "AES: veri 16'nın katı olmalı (" + std::to_string(length) + ").";
            break;
        case Kind::cryptoFailure:
            description_ = "AES: şifreleme kütüphanesi hatası " + std::to_string(status) + ".";
            break;
    }
}

AESCipher::Error AESCipher::Error::invalidKeyLength(std::ptrdiff_t length) {
    return Error(Kind::invalidKeyLength, length, 0);
}

AESCipher::Error AESCipher::Error::invalidIVLength(std::ptrdiff_t length) {
    return Error(Kind::invalidIVLength, length, 0);
}

AESCipher::Error AESCipher::Error::invalidBlockAlignment(std::ptrdiff_t length) {
    return Error(Kind::invalidBlockAlignment, length, 0);
}

AESCipher::Error AESCipher::Error::cryptoFailure(std::int32_t status) {
    return Error(Kind::cryptoFailure, 0, status);
}
