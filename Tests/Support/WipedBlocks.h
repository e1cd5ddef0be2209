#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "OmbrixCore/Crypto/SecretBytes.h"

namespace testsupport {

// Records the blocks that secret buffers report as wiped while it lives: where each was, how
// long, and whether every byte was zero. Never their content, so no secret reaches a failure
// message. One recorder at a time.
class WipedBlocks {
  public:
    struct Block {
        const void* address;
        std::size_t size;
        bool zero;
    };

    WipedBlocks() {
        blocks().clear();
        SecretBytes::setWipeObserver([](ByteView wiped) {
            blocks().push_back(
                {wiped.data(), wiped.size(),
                 std::all_of(wiped.begin(), wiped.end(), [](std::uint8_t b) { return b == 0; })});
        });
    }
    ~WipedBlocks() { SecretBytes::setWipeObserver(nullptr); }
    WipedBlocks(const WipedBlocks&) = delete;
    WipedBlocks& operator=(const WipedBlocks&) = delete;

    // The block at `address` was reported, at least `size` long, and held only zeros.
    bool wiped(const void* address, std::size_t size) const {
        return std::any_of(blocks().begin(), blocks().end(),
                           [&](const Block& b) { return b.address == address && b.size >= size && b.zero; });
    }

    // How many blocks of exactly `size` bytes were reported holding only zeros.
    std::size_t wipedOfSize(std::size_t size) const {
        return static_cast<std::size_t>(std::count_if(
            blocks().begin(), blocks().end(), [&](const Block& b) { return b.size == size && b.zero; }));
    }

    void forget() { blocks().clear(); }

  private:
    static std::vector<Block>& blocks() {
        static std::vector<Block> all;
        return all;
    }
};

}  // namespace testsupport
