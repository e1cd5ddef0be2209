#pragma once

#include <cstddef>
#include <string_view>

// This test program replaces the global operator new and delete (AllocationProbe.cpp), so that a
// test can make allocations fail on the threads an operation starts, and count the bytes an
// operation holds at most. Both are exact and do not depend on timing.
namespace allocationprobe {

// While it lives, every allocation of at least `minimum` bytes made on a thread other than the
// one that made the probe fails with std::bad_alloc, after the first `spared` of them. With
// everyAllocator, malloc and its kin fail the same way (they return null), so that the
// libraries' allocations fail too (not in a sanitizer build, which keeps its own allocator).
class FailOnOtherThreads {
  public:
    enum class Scope { operatorNew, everyAllocator };

    explicit FailOnOtherThreads(std::size_t minimum, int spared = 0, Scope scope = Scope::operatorNew);
    ~FailOnOtherThreads();
    FailOnOtherThreads(const FailOnOtherThreads&) = delete;
    FailOnOtherThreads& operator=(const FailOnOtherThreads&) = delete;

    // How many allocations failed so far.
    int failures() const;
};

// While it lives, the most bytes held at once by allocations through operator new, on every
// thread, above what was held when it started.
class PeakMeter {
  public:
    PeakMeter();
    ~PeakMeter();
    PeakMeter(const PeakMeter&) = delete;
    PeakMeter& operator=(const PeakMeter&) = delete;

    std::size_t peak() const;
    // What is held now, above what was held when it started.
    std::size_t held() const;
};

// While it lives, counts the blocks released through operator delete that still hold `marker`
// (at most 64 bytes) somewhere in them: memory let go of without being wiped.
class FreedBlocksHolding {
  public:
    explicit FreedBlocksHolding(std::string_view marker);
    ~FreedBlocksHolding();
    FreedBlocksHolding(const FreedBlocksHolding&) = delete;
    FreedBlocksHolding& operator=(const FreedBlocksHolding&) = delete;

    int count() const;
};

}  // namespace allocationprobe
