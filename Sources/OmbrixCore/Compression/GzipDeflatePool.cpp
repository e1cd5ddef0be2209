#include "OmbrixCore/Compression/GzipDeflatePool.h"

#include <algorithm>
#include <utility>

namespace GzipInternal {

DeflatePool& DeflatePool::shared() {
    static DeflatePool pool;
    return pool;
}

void DeflatePool::post(std::function<void()> task) {
    const std::lock_guard lock(mutex_);
    if (owner_ != getpid()) {
        // A child process made by fork() has none of its parent's threads: it starts its own,
        // and the parent's are left alone (they cannot be joined here).
        if (!threads_.empty()) new std::vector<std::thread>(std::move(threads_));
        threads_.clear();
        tasks_.clear();
        owner_ = getpid();
    }
    if (threads_.empty()) start();
    tasks_.push_back(std::move(task));
    work_.notify_one();
}

DeflatePool::~DeflatePool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void DeflatePool::start() {
    const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
    for (unsigned i = 0; i < count; ++i) {
        try {
            threads_.emplace_back([this] { loop(); });
        } catch (...) {
            // Fewer threads serve as well, only slower; none at all cannot.
            if (threads_.empty()) throw;
            break;
        }
    }
}

void DeflatePool::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty()) return;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
    }
}

}  // namespace GzipInternal
