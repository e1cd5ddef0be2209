// libFuzzer target for key files: any bytes give a key or a KdbxError, never a crash.
#include <cstddef>
#include <cstdint>

#include "OmbrixCore/Kdbx/KdbxCompositeKey.h"
#include "OmbrixCore/Kdbx/KdbxError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const KdbxKeys::KeyFileResult result = KdbxKeys::keyFileKey(ByteView(data, size));
        if (result.key.empty()) __builtin_trap();  // every kind of key file yields key bytes
    } catch (const KdbxError&) {
    }
    return 0;
}
