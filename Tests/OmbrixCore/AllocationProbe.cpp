#include "AllocationProbe.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

// The C allocator is replaced too (glibc lets a program define malloc and its kin), so that
// allocations made by the libraries (OpenSSL, zlib, expat) can fail like those of operator new.
// Not under a sanitizer, which brings an allocator of its own.
#if defined(__SANITIZE_ADDRESS__)
#define OMBRIX_PROBE_C_ALLOCATOR 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define OMBRIX_PROBE_C_ALLOCATOR 0
#endif
#endif
#ifndef OMBRIX_PROBE_C_ALLOCATOR
#define OMBRIX_PROBE_C_ALLOCATOR 1
#endif

#if OMBRIX_PROBE_C_ALLOCATOR
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);
}
#endif

namespace {

std::atomic<bool> failing{false};
std::atomic<std::size_t> failMinimum{0};
std::atomic<int> spareLeft{0};
std::atomic<int> failed{0};
std::atomic<bool> failC{false};
thread_local bool exempt = false;

// Whether this allocation is one of those that fail.
bool fails(std::size_t size) {
    if (!failing.load(std::memory_order_relaxed) || exempt || size < failMinimum.load() ||
        spareLeft.fetch_sub(1) > 0)
        return false;
    failed.fetch_add(1);
    return true;
}

std::atomic<bool> watchingFrees{false};
char freedMarker[64];
std::size_t freedMarkerLength = 0;
std::atomic<int> freedHolding{0};

std::atomic<bool> metering{false};
std::atomic<std::int64_t> held_{0};
std::atomic<std::int64_t> highest{0};

void* allocate(std::size_t size, std::size_t alignment) {
    if (fails(size)) throw std::bad_alloc();
    if (size == 0) size = 1;
#if OMBRIX_PROBE_C_ALLOCATOR
    void* p = alignment > alignof(std::max_align_t) ? __libc_memalign(alignment, size) : __libc_malloc(size);
#else
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                  : std::malloc(size);
#endif
    if (p == nullptr) throw std::bad_alloc();
    if (metering.load(std::memory_order_relaxed)) {
        const std::int64_t now = held_.fetch_add(static_cast<std::int64_t>(malloc_usable_size(p))) +
                                 static_cast<std::int64_t>(malloc_usable_size(p));
        std::int64_t top = highest.load();
        while (now > top && !highest.compare_exchange_weak(top, now)) {
        }
    }
    return p;
}

void release(void* p) noexcept {
    if (p == nullptr) return;
    if (watchingFrees.load(std::memory_order_relaxed) &&
        memmem(p, malloc_usable_size(p), freedMarker, freedMarkerLength) != nullptr)
        freedHolding.fetch_add(1);
    if (metering.load(std::memory_order_relaxed))
        held_.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)));
#if OMBRIX_PROBE_C_ALLOCATOR
    __libc_free(p);
#else
    std::free(p);
#endif
}

}  // namespace

namespace allocationprobe {

FailOnOtherThreads::FailOnOtherThreads(std::size_t minimum, int spared, Scope scope) {
    exempt = true;
    failC = scope == Scope::everyAllocator && OMBRIX_PROBE_C_ALLOCATOR;
    failMinimum = minimum;
    spareLeft = spared;
    failed = 0;
    failing = true;
}

FailOnOtherThreads::~FailOnOtherThreads() {
    failing = false;
    failC = false;
    exempt = false;
}

int FailOnOtherThreads::failures() const {
    return failed.load();
}

FreedBlocksHolding::FreedBlocksHolding(std::string_view marker) {
    freedMarkerLength = std::min(marker.size(), sizeof freedMarker);
    std::memcpy(freedMarker, marker.data(), freedMarkerLength);
    freedHolding = 0;
    watchingFrees = true;
}

FreedBlocksHolding::~FreedBlocksHolding() {
    watchingFrees = false;
}

int FreedBlocksHolding::count() const {
    return freedHolding.load();
}

PeakMeter::PeakMeter() {
    held_ = 0;
    highest = 0;
    metering = true;
}

PeakMeter::~PeakMeter() {
    metering = false;
}

std::size_t PeakMeter::peak() const {
    return static_cast<std::size_t>(highest.load());
}

std::size_t PeakMeter::held() const {
    return static_cast<std::size_t>(std::max<std::int64_t>(held_.load(), 0));
}

}  // namespace allocationprobe

void* operator new(std::size_t size) {
    return allocate(size, 0);
}
void* operator new[](std::size_t size) {
    return allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size, 0);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size, 0);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    release(p);
}

#if OMBRIX_PROBE_C_ALLOCATOR
namespace {

// As the C allocator fails: null, with errno set (glibc's own callers check it).
bool failsInC(std::size_t size) {
    if (!failC.load(std::memory_order_relaxed) || !fails(size)) return false;
    errno = ENOMEM;
    return true;
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
    if (failsInC(size)) return nullptr;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    if (failsInC(count * size)) return nullptr;
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    if (failsInC(size)) return nullptr;
    return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    if (failsInC(size)) return nullptr;
    return __libc_memalign(alignment, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    if (failsInC(size)) return nullptr;
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (failsInC(size)) return ENOMEM;
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
void free(void* p) {
    __libc_free(p);
}
}
#endif
