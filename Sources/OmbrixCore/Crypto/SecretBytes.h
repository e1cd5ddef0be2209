#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "OmbrixCore/Foundation/Bytes.h"

// A byte buffer for secrets that are kept beyond one computation: a master password's UTF-8
// bytes, a key file's content. Every block of memory it holds is overwritten with zeros before
// it is freed (when the buffer is destroyed, assigned over, cleared or outgrows its block), so
// nothing of the secret stays behind in freed memory. Copies are independent buffers, each wiped
// on its own.
class SecretBytes {
  public:
    SecretBytes() = default;
    SecretBytes(ByteView bytes);
    SecretBytes(const Bytes& bytes);
    // Takes the bytes and wipes the source, which keeps its length and holds zeros.
    SecretBytes(Bytes&& bytes);
    // The text's bytes as they stand (UTF-8 throughout the engine).
    SecretBytes(std::string_view text);
    SecretBytes(const char* text);
    SecretBytes(const std::string& text);
    // Takes the text's bytes and wipes the source, which keeps its length and holds zeros.
    SecretBytes(std::string&& text);

    const std::uint8_t* data() const noexcept { return bytes_.data(); }
    std::size_t size() const noexcept { return bytes_.size(); }
    bool empty() const noexcept { return bytes_.empty(); }
    ByteView view() const noexcept { return ByteView(bytes_.data(), bytes_.size()); }

    void append(ByteView bytes);
    // Wipes and frees the storage; the buffer is then empty.
    void clear() noexcept;

    // Same length and the same bytes; the time taken depends on the length only.
    friend bool operator==(const SecretBytes& a, const SecretBytes& b) noexcept;

    // Test seam: when set, called with every block right after it has been wiped and before it
    // is freed. Null removes it.
    using WipeObserver = void (*)(ByteView wiped);
    static void setWipeObserver(WipeObserver observer) noexcept;

  private:
    template <class T>
    struct WipingAllocator {
        using value_type = T;
        WipingAllocator() = default;
        template <class U>
        WipingAllocator(const WipingAllocator<U>&) noexcept {}
        T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
        void deallocate(T* block, std::size_t n) noexcept {
            release(block, n * sizeof(T));
            std::allocator<T>().deallocate(block, n);
        }
        friend bool operator==(const WipingAllocator&, const WipingAllocator&) noexcept { return true; }
    };

    // Wipes the block and tells the observer.
    static void release(void* block, std::size_t size) noexcept;

    std::vector<std::uint8_t, WipingAllocator<std::uint8_t>> bytes_;
};
