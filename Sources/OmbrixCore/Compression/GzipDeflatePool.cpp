#include "OmbrixCore/Compression/GzipDeflatePool.h"

#include <pthread.h>

#include <algorithm>
#include <new>
#include <utility>

namespace GzipInternal {

DeflatePool& DeflatePool::shared() {
    static DeflatePool pool;
    return pool;
}

DeflatePool::DeflatePool() {
    pthread_atfork(&beforeFork, &afterForkInParent, &afterForkInChild);
}

// No thread of the pool holds the lock while the process is copied.
void DeflatePool::beforeFork() {
    shared().mutex_.lock();
}

void DeflatePool::afterForkInParent() {
    shared().mutex_.unlock();
}

void DeflatePool::afterForkInChild() {
    DeflatePool& pool = shared();
    // The copies are not the child's to use or to destroy: new ones are made in their place. The
    // parent's threads (which cannot be joined here) and its tasks (whose members live on in
    // the parent) are left behind without a destructor running.
    new (&pool.mutex_) std::mutex();
    new (&pool.work_) std::condition_variable();
    (new std::vector<std::thread>())->swap(pool.threads_);
    (new std::deque<Task>())->swap(pool.tasks_);
    pool.stopping_ = false;
}

void DeflatePool::post(Task task) {
    const std::lock_guard lock(mutex_);
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
    OwnedDeflater deflater;
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty()) return;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task(deflater);
        task = nullptr;
        lock.lock();
    }
}

}  // namespace GzipInternal
