#pragma once

#include <memory>

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/Models.h"

// The outer cipher over a whole KDBX payload: AES-256-CBC with PKCS#7 padding (16-byte IV) or
// ChaCha20 with block counter 0 (12-byte nonce).
namespace KdbxCrypto {

// The cipher over a payload handed over in parts: the parts' outputs joined are the cipher's
// output over the whole.
class PayloadCipherStream {
  public:
    enum class Direction { decrypt, encrypt };

    // Throws KdbxError::corruptedData when the IV has the wrong length for the cipher (checked
    // before anything else), AESCipher::Error for a key that is not 32 bytes or a cipher that
    // cannot be made, std::bad_alloc when memory runs out.
    PayloadCipherStream(KdbxCipher cipher, ByteView key, ByteView iv, Direction direction);
    ~PayloadCipherStream();
    PayloadCipherStream(const PayloadCipherStream&) = delete;
    PayloadCipherStream& operator=(const PayloadCipherStream&) = delete;

    // Appends the output for `input` to `out`; AES holds back the last block for the padding.
    void update(ByteView input, Bytes& out);
    // Appends the rest (AES: the padded or unpadded last block). Throws AESCipher::Error for an
    // invalid padding or ciphertext length.
    void finish(Bytes& out);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace KdbxCrypto
