#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "OmbrixCore/Crypto/Bytes.h"

// Carries the parts of a payload from one stage of a load to the next, which runs on another
// thread; holds only a few parts, so that the whole payload never stands in memory.
class PartChannel {
  public:
    // Thrown to the consumer when the producer failed: the producer's error decides the load.
    struct UpstreamFailed {};

    // False once the consumer has given up: the part is dropped. A producer that need not report
    // errors of its own may stop there; the others run on to their end, so that their errors come
    // out as they would have.
    bool push(Bytes part) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return abandoned_ || parts_.size() < capacity; });
        if (abandoned_) return false;
        parts_.push_back(std::move(part));
        changed_.notify_all();
        return true;
    }

    // The producer is done (failed: it stopped with an error of its own).
    void close(bool failed) {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        failed_ = failed;
        changed_.notify_all();
    }

    // The next part; nothing at the end. Throws UpstreamFailed.
    std::optional<Bytes> pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !parts_.empty() || closed_; });
        if (failed_) throw UpstreamFailed{};
        if (parts_.empty()) return std::nullopt;
        Bytes part = std::move(parts_.front());
        parts_.pop_front();
        changed_.notify_all();
        return part;
    }

    // The consumer reads no more: pushes are dropped from now on.
    void abandon() {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
        parts_.clear();
        changed_.notify_all();
    }

  private:
    static constexpr std::size_t capacity = 4;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Bytes> parts_;
    bool closed_ = false;
    bool failed_ = false;
    bool abandoned_ = false;
};

// One stage of a load on its own thread, filling `output`. Its error is kept for the caller,
// which decides what the load reports once every stage has ended.
class Stage {
  public:
    template <class Work>
    Stage(PartChannel* input, PartChannel& output, Work work) : input_(input), output_(output) {
        thread_ = std::thread([this, &output, work = std::move(work)] {
            try {
                work();
                output.close(false);
            } catch (const PartChannel::UpstreamFailed&) {
                output.close(true);
            } catch (...) {
                error_ = std::current_exception();
                // Upstream runs on to its end: its error, if any, comes first.
                if (input_ != nullptr) input_->abandon();
                output.close(true);
            }
        });
    }
    // On the way out without join() (an error of the caller), nobody reads the output any more.
    ~Stage() {
        if (thread_.joinable()) output_.abandon();
        join();
    }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    void join() {
        if (thread_.joinable()) thread_.join();
    }
    // After join(): rethrows the stage's own error.
    void rethrow() const {
        if (error_) std::rethrow_exception(error_);
    }

  private:
    PartChannel* input_;
    PartChannel& output_;
    std::exception_ptr error_;
    std::thread thread_;
};
