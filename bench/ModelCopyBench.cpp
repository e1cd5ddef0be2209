// Cost of the undo history's whole-database snapshots: copying a database of 10,000 entries with
// 10 history items each, and changing one entry in the copy (what every edit does).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "BenchDatabase.h"
#include "OmbrixCore/Kdbx/Models.h"

namespace {

void changeOneEntry(KdbxDatabase& db, std::size_t step) {
    const std::size_t g = step % db.root.groups.size();
    KdbxGroup& group = db.root.groups.mutableAt(g);
    KdbxEntry& entry = group.entries.mutableAt(step % group.entries.size());
    entry.title += "*";
    entry.modified += std::chrono::seconds(1);
}

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

void BM_CopyDatabase(benchmark::State& state) {
    const KdbxDatabase db = benchDatabase({.groups = static_cast<int>(state.range(0))});
    for (auto _ : state) {
        KdbxDatabase copy = db;
        benchmark::DoNotOptimize(copy);
    }
}

void BM_CopyAndChangeOneEntry(benchmark::State& state) {
    const KdbxDatabase db = benchDatabase({.groups = static_cast<int>(state.range(0))});
    std::size_t step = 0;
    for (auto _ : state) {
        KdbxDatabase copy = db;
        changeOneEntry(copy, step++);
        benchmark::DoNotOptimize(copy);
    }
}

// Fifty edits, each kept as a snapshot; the counter is the memory they add relative to the
// database itself (0.5 = 50 %). The time is that of the fifty copy-and-change steps.
void BM_FiftySnapshotsMemory(benchmark::State& state) {
    double ratio = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::size_t before = heapInUse();
        auto current =
            std::make_unique<KdbxDatabase>(benchDatabase({.groups = static_cast<int>(state.range(0))}));
        const std::size_t database = heapInUse() - before;
        auto undo = std::make_unique<std::vector<KdbxDatabase>>();
        undo->reserve(50);
        state.ResumeTiming();

        for (std::size_t step = 0; step < 50; ++step) {
            undo->push_back(*current);
            changeOneEntry(*current, step * 37);
        }

        state.PauseTiming();
        const std::size_t snapshots = heapInUse() - before - database;
        ratio = static_cast<double>(snapshots) / static_cast<double>(database);
        undo.reset();
        current.reset();
        state.ResumeTiming();
    }
    state.counters["addedMemoryRatio"] = ratio;
}

}  // namespace

BENCHMARK(BM_CopyDatabase)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyAndChangeOneEntry)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FiftySnapshotsMemory)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond)->Iterations(3);

BENCHMARK_MAIN();
