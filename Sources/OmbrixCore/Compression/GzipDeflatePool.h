#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

// Internal to the gzip compressor.
namespace GzipInternal {

// The threads that deflate the pieces of every member in the process: started at the first
// member that needs them and kept, so that saving again and again reuses the same threads (and
// their heaps) instead of starting new ones, each with memory of its own, every time.
class DeflatePool {
  public:
    static DeflatePool& shared();

    // Runs `task` on a thread of the pool. The task must not throw. Throws std::system_error
    // when no thread can be started, or std::bad_alloc.
    void post(std::function<void()> task);

    ~DeflatePool();

  private:
    DeflatePool() = default;

    void start();
    void loop();

    std::mutex mutex_;
    std::condition_variable work_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
    pid_t owner_ = getpid();
};

}  // namespace GzipInternal
