#include "OmbrixCore/Kdbx/InnerStreamCipher.h"

#include <string>
#include <utility>

#include "OmbrixCore/Crypto/ChaCha20.h"
#include "OmbrixCore/Crypto/Salsa20.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

namespace {

// The keystream classes of the crypto layer know nothing of the engine; this adapter lets the
// engine hold either of them through its own interface.
template <class Stream>
class InnerStreamAdapter final : public InnerStreamCipher {
  public:
    template <class... Args>
    explicit InnerStreamAdapter(Args&&... args) : stream_(std::forward<Args>(args)...) {}

    Bytes process(ByteView input) override { return stream_.process(input); }

  private:
    Stream stream_;
};

}  // namespace

namespace KdbxCrypto {

std::optional<InnerStreamID> innerStreamID(std::uint32_t raw) {
    if (raw > 3) return std::nullopt;
    return static_cast<InnerStreamID>(raw);
}

const Bytes& salsaNonce() {
    return Salsa20Stream::kdbxNonce();
}

std::shared_ptr<InnerStreamCipher> makeInnerStream(InnerStreamID id, ByteView key) {
    switch (id) {
        case InnerStreamID::none:
            return std::make_shared<NullStreamCipher>();
        case InnerStreamID::arcFourVariant:
            break;
        case InnerStreamID::salsa20:
            return std::make_shared<InnerStreamAdapter<Salsa20Stream>>(ByteView(sha256(key)), salsaNonce());
        case InnerStreamID::chaCha20: {
            const Bytes hash = sha512(key);
            const ByteView view(hash);
            return std::make_shared<InnerStreamAdapter<ChaCha20Stream>>(view.first(32), view.subspan(32, 12),
                                                                        std::uint32_t{0});
        }
    }
    throw KdbxError::unsupportedCipher("ARCFour inner stream");
}

std::shared_ptr<InnerStreamCipher> makeInnerStream(std::uint32_t rawID, ByteView key) {
    const std::optional<InnerStreamID> id = innerStreamID(rawID);
    if (!id) throw KdbxError::unsupportedCipher("inner stream " + std::to_string(rawID));
    return makeInnerStream(*id, key);
}

}  // namespace KdbxCrypto
