#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "OmbrixCore/Foundation/Precondition.h"
#include "OmbrixCore/Kdbx/PartChannel.h"

// Work done in stages, each on a thread of its own, each passing its output to the next through a
// PartChannel that the pipeline owns; the last stage runs on the caller's thread. The pipeline
// owns the threads, the order in which they end and their errors:
//
// - A stage that throws has failed: the stage before it is told that nobody reads on (it runs on
//   to its own end, so that its own error still comes out), the stage after it reads the end of
//   its input as PartChannel::UpstreamFailed.
// - finish() ends the stages from the last to the first, each after the one behind it has
//   stopped reading, and then rethrows the error of the earliest stage that failed, the caller's
//   own last. So the outcome is the one the stages would give if each ran over the whole payload
//   before the next began, whichever thread met its fault first.
// - On any other way out (an exception of the caller before finish()), the destructor tells every
//   stage that nobody reads on and joins them all; their errors are dropped.
//
// Threading contract: each stage's `work` runs on its own thread and may use anything declared
// before the pipeline (the pipeline must therefore be declared after everything its stages
// use: its destructor joins them). Nothing a stage touches may be touched by another stage or
// the caller without a channel between them.
class Pipeline {
  public:
    // `in` is the output of the stage before (nullptr for the first stage); `out` goes to the next.
    using Work = std::function<void(PartChannel* in, PartChannel& out)>;

    Pipeline() = default;
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Starts the next stage on a thread of its own; its output channel holds `capacity` parts.
    // Throws std::system_error when no thread can be started (the stages already started are
    // ended by the destructor).
    void then(Work work, std::size_t capacity = PartChannel::defaultCapacity);

    // Runs `last(in)` on the caller's thread over the output of the last stage started, ends every
    // stage and returns its result, or throws the earliest error. `last` may throw
    // PartChannel::UpstreamFailed (from pop()): the failing stage's error is then the outcome.
    // When no stage here failed either, the failure lay before the pipeline's first stage (a
    // source it reads on another pipeline's behalf) and UpstreamFailed passes out.
    template <class Last>
    auto finish(Last&& last) -> std::invoke_result_t<Last, PartChannel&> {
        using Result = std::invoke_result_t<Last, PartChannel&>;
        OMBRIX_PRECONDITION(!stages_.empty(), "a pipeline needs a stage before its last");
        std::exception_ptr own;
        bool done = false;
        if constexpr (std::is_void_v<Result>) {
            try {
                last(stages_.back().out);
                done = true;
            } catch (const PartChannel::UpstreamFailed&) {
            } catch (...) {
                own = std::current_exception();
            }
            endInOrder(own, done);
        } else {
            std::optional<Result> result;
            try {
                result.emplace(last(stages_.back().out));
                done = true;
            } catch (const PartChannel::UpstreamFailed&) {
            } catch (...) {
                own = std::current_exception();
            }
            endInOrder(own, done);
            return std::move(*result);
        }
    }

  private:
    struct Stage {
        explicit Stage(std::size_t capacity) : out(capacity) {}

        PartChannel out;
        std::exception_ptr error;
        std::thread thread;
    };

    // Joins from the last stage to the first, then rethrows the earliest error (or `own`, or
    // UpstreamFailed when nothing here failed and `done` is false). Returns only when `done`.
    void endInOrder(std::exception_ptr own, bool done);

    // A deque: a stage's channel and error stay where they are while later stages are added.
    std::deque<Stage> stages_;
};
