#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "OmbrixCore/Foundation/Bytes.h"

// The keystream that protects the values marked protected inside one XML document. One object
// serves one document: each call XORs the next bytes of the keystream, so encrypting and
// decrypting are the same operation, and the values must pass in document order.
class InnerStreamCipher {
  public:
    virtual ~InnerStreamCipher() = default;

    // The input XORed with the next input.size() keystream bytes.
    virtual Bytes process(ByteView input) = 0;
};

// The stream of identifier 0: protected values are stored as they are.
class NullStreamCipher final : public InnerStreamCipher {
  public:
    Bytes process(ByteView input) override { return Bytes(input.begin(), input.end()); }
};

namespace KdbxCrypto {

// The inner random stream identifiers of the format.
enum class InnerStreamID : std::uint32_t { none = 0, arcFourVariant = 1, salsa20 = 2, chaCha20 = 3 };

// The identifier for raw values 0 to 3, nothing for the others.
std::optional<InnerStreamID> innerStreamID(std::uint32_t raw);

// The published nonce of the Salsa20 inner stream: E8 30 09 4B 97 20 5D 2A.
const Bytes& salsaNonce();

// A new stream for the identifier, keyed by the SHA-256 (Salsa20) or SHA-512 (ChaCha20) of `key`,
// whatever its length. Throws KdbxError::unsupportedCipher for the ARCFour variant.
std::shared_ptr<InnerStreamCipher> makeInnerStream(InnerStreamID id, ByteView key);

// The same for an identifier as stored in a file: any value outside 0 to 3 throws
// KdbxError::unsupportedCipher("inner stream " + the value), never a guessed stream.
std::shared_ptr<InnerStreamCipher> makeInnerStream(std::uint32_t rawID, ByteView key);

}  // namespace KdbxCrypto
