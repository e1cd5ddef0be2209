// Stages on threads of their own, joined by channels: whichever stage or caller fails, and
// whenever, the pipeline ends every thread and reports the earliest stage's error; and the
// channels wipe the plaintext parts they let go of.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "AllocationProbe.h"
#include "OmbrixCore/Kdbx/PartChannel.h"
#include "OmbrixCore/Kdbx/Pipeline.h"

namespace {

// Many more parts than a channel holds: a stage that is not read from waits for room.
constexpr std::uint64_t partCount = 1000;

Bytes numbered(std::uint64_t n) {
    Bytes part(8);
    std::memcpy(part.data(), &n, 8);
    return part;
}

std::uint64_t numberOf(const Bytes& part) {
    std::uint64_t n = 0;
    std::memcpy(&n, part.data(), 8);
    return n;
}

// Runs `body` on a thread of its own and waits at most a minute: a pipeline that leaves a stage
// waiting forever would otherwise hang the whole suite. What hangs cannot be ended: the test
// program stops there.
void endsWithin(const char* note, const std::function<void()>& body) {
    std::packaged_task<void()> task(body);
    std::future<void> ended = task.get_future();
    std::thread thread(std::move(task));
    if (ended.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        std::fprintf(stderr, "%s: a thread of the pipeline never ended\n", note);
        std::fflush(stderr);
        std::_Exit(1);
    }
    thread.join();
    ended.get();
}

// Counts the stages whose work has not ended, however it ends.
class Running {
  public:
    explicit Running(std::atomic<int>& count) : count_(count) { ++count_; }
    ~Running() { --count_; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

  private:
    std::atomic<int>& count_;
};

}  // namespace

// Two stages and the caller, each passing numbered parts on or failing at one of them. The
// outcome is the error of the earliest stage that failed, whenever it failed, the caller's own
// last; every thread has ended when the call returns.
TEST(Pipeline, TheEarliestStageThatFailsDecidesAndEveryThreadEnds) {
    constexpr int none = -1;
    constexpr int caller = 2;
    const struct {
        const char* note;
        // Where the stage (0, 1) or the caller fails: at which part, or never.
        std::int64_t failAt[3];
        // Leave between then() and finish(), by an exception of the caller's own.
        bool leaveEarly;
        // The second stage cannot start: no memory for its thread or channel.
        bool noThreadForTheSecond;
        std::string expected;
    } cases[] = {
        {"nothing fails", {none, none, none}, false, false, "499500"},
        {"the first stage fails at its first part", {0, none, none}, false, false, "stage 0 at 0"},
        {"the first stage fails at part 3", {3, none, none}, false, false, "stage 0 at 3"},
        {"the second stage fails at part 500", {none, 500, none}, false, false, "stage 1 at 500"},
        {"the second fails early, the first at its last part",
         {999, 5, none},
         false,
         false,
         "stage 0 at 999"},
        {"the caller fails at part 2", {none, none, 2}, false, false, "caller at 2"},
        {"the caller fails early, the second stage late", {none, 990, 2}, false, false, "stage 1 at 990"},
        {"the caller leaves before finishing", {none, none, none}, true, false, "left"},
        {"no memory to start the second stage", {none, none, none}, false, true, "std::bad_alloc"},
    };
    for (const auto& c : cases) {
        endsWithin(c.note, [&] {
            std::atomic<int> running{0};
            std::string outcome;
            try {
                Pipeline pipeline;
                const auto fail = [&](int who, std::uint64_t n) {
                    if (c.failAt[who] == static_cast<std::int64_t>(n)) {
                        throw std::runtime_error(
                            (who == caller ? std::string("caller") : "stage " + std::to_string(who)) +
                            " at " + std::to_string(n));
                    }
                };
                // Each stage runs on to the end of its input, dropped output or not, so that its own
                // error can come out.
                pipeline.then([&](PartChannel*, PartChannel& out) {
                    const Running counted(running);
                    for (std::uint64_t n = 0; n < partCount; ++n) {
                        fail(0, n);
                        out.push(numbered(n));
                    }
                });
                // The first stage waits for room now: nothing reads its output yet. Allocations of
                // this thread (not those of the parts, smaller) fail from here: made on another
                // thread, the probe spares only that one.
                std::optional<allocationprobe::FailOnOtherThreads> noRoom;
                if (c.noThreadForTheSecond) std::thread([&] { noRoom.emplace(16); }).join();
                pipeline.then([&](PartChannel* in, PartChannel& out) {
                    const Running counted(running);
                    while (std::optional<Bytes> part = in->pop()) {
                        fail(1, numberOf(*part));
                        out.push(std::move(*part));
                    }
                });
                noRoom.reset();
                if (c.leaveEarly) throw std::runtime_error("left");
                const std::uint64_t sum = pipeline.finish([&](PartChannel& in) {
                    std::uint64_t total = 0;
                    while (std::optional<Bytes> part = in.pop()) {
                        const std::uint64_t n = numberOf(*part);
                        fail(caller, n);
                        total += n;
                    }
                    return total;
                });
                outcome = std::to_string(sum);
            } catch (const std::exception& error) {
                outcome = error.what();
            }
            EXPECT_EQ(outcome, c.expected) << c.note;
            EXPECT_EQ(running.load(), 0) << c.note;
        });
    }
}

// Every part a channel lets go of is wiped first, however it goes: dropped, abandoned, given back
// beyond the spares it keeps, or left in it at its end.
TEST(PartChannel, EveryPartItLetsGoOfIsWiped) {
    static constexpr std::string_view secret = "gizli-parola-7f3a9c";
    const auto part = [] { return Bytes(secret.begin(), secret.end()); };
    const struct {
        const char* note;
        std::function<void(PartChannel&)> use;
    } cases[] = {
        {"parts waiting when the reader gives up",
         [&](PartChannel& channel) {
             for (int i = 0; i < 3; ++i) channel.push(part());
             channel.abandon();
         }},
        {"parts waiting when the channel ends",
         [&](PartChannel& channel) {
             for (int i = 0; i < 3; ++i) channel.push(part());
         }},
        {"a part pushed after the reader gave up",
         [&](PartChannel& channel) {
             channel.abandon();
             EXPECT_FALSE(channel.push(part()));
         }},
        {"parts read and given back, then the channel ends",
         [&](PartChannel& channel) {
             for (int i = 0; i < 3; ++i) channel.push(part());
             channel.close(false);
             PartReader reader(channel);
             while (!reader.next().empty()) {
             }
         }},
        {"a reader holding a part when the reader gives up",
         [&](PartChannel& channel) {
             channel.push(part());
             PartReader reader(channel);
             ASSERT_FALSE(reader.next().empty());
             channel.abandon();
         }},
        {"more parts given back than the channel keeps",
         [&](PartChannel& channel) {
             for (int i = 0; i < 20; ++i) {
                 channel.push(part());
                 std::optional<Bytes> read = channel.pop();
                 ASSERT_TRUE(read);
                 channel.recycle(std::move(*read));
             }
         }},
    };
    for (const auto& c : cases) {
        const allocationprobe::FreedBlocksHolding unwiped(secret);
        {
            PartChannel channel;
            c.use(channel);
        }
        EXPECT_EQ(unwiped.count(), 0) << c.note;
    }
}
