#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Internal to the gzip compressor.
namespace GzipInternal {

// A deflate state that a thread of the pool keeps for the pieces it compresses (Gzip.cpp). It is
// held by the thread's loop, not in thread_local storage: the C library registers a thread_local
// object's destructor with an allocation of its own, and ends the process when that fails.
class PieceDeflater;
struct DeflaterDeleter {
    void operator()(PieceDeflater* deflater) const noexcept;
};
using OwnedDeflater = std::unique_ptr<PieceDeflater, DeflaterDeleter>;

// The threads that deflate the pieces of every member in the process: started at the first
// member that needs them and kept, so that saving again and again reuses the same threads (and
// their heaps) instead of starting new ones, each with memory of its own, every time.
//
// A child made by fork() has none of these threads, and its copy of the lock and the condition
// variable may stand as the parent's threads left them (held, or with waiters that do not exist
// in the child). The pool takes its lock across fork() and makes both anew in the child, which
// then starts threads of its own at its first member.
class DeflatePool {
  public:
    static DeflatePool& shared();

    // Runs `task` on a thread of the pool, with that thread's deflater (empty until a task makes
    // it). The task must not throw. Throws std::system_error when no thread can be started, or
    // std::bad_alloc.
    using Task = std::function<void(OwnedDeflater&)>;
    void post(Task task);

    ~DeflatePool();

  private:
    DeflatePool();

    void start();
    void loop();

    // The fork() handlers (pthread_atfork).
    static void beforeFork();
    static void afterForkInParent();
    static void afterForkInChild();

    std::mutex mutex_;
    std::condition_variable work_;
    std::deque<Task> tasks_;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
};

}  // namespace GzipInternal
