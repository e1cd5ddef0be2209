#include "AllocationProbe.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> failing{false};
std::atomic<std::size_t> failMinimum{0};
std::atomic<int> spareLeft{0};
std::atomic<int> failed{0};
thread_local bool exempt = false;

std::atomic<bool> metering{false};
std::atomic<std::int64_t> held_{0};
std::atomic<std::int64_t> highest{0};

void* allocate(std::size_t size, std::size_t alignment) {
    if (failing.load(std::memory_order_relaxed) && !exempt && size >= failMinimum.load() &&
        spareLeft.fetch_sub(1) <= 0) {
        failed.fetch_add(1);
        throw std::bad_alloc();
    }
    if (size == 0) size = 1;
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                  : std::malloc(size);
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
    if (metering.load(std::memory_order_relaxed))
        held_.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)));
    std::free(p);
}

}  // namespace

namespace allocationprobe {

FailOnOtherThreads::FailOnOtherThreads(std::size_t minimum, int spared) {
    exempt = true;
    failMinimum = minimum;
    spareLeft = spared;
    failed = 0;
    failing = true;
}

FailOnOtherThreads::~FailOnOtherThreads() {
    failing = false;
    exempt = false;
}

int FailOnOtherThreads::failures() const {
    return failed.load();
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
