#pragma once

#include <atomic>
#include <exception>

// A request, raised from another thread, that a long computation (a key derivation) end early.
using StopFlag = std::atomic<bool>;

// Thrown by a computation that ended early on request. It produced nothing, and what it had
// derived from its secret inputs has been wiped.
class Stopped : public std::exception {
  public:
    const char* what() const noexcept override { return "İşlem durduruldu."; }
};

inline bool stopRequested(const StopFlag* stop) noexcept {
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}
