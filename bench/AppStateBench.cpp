// The application state over a database of 10,000 entries with 10 history versions each: one
// undoable edit (snapshot, change, publish), one undo, the memory that 50 undo steps add, the
// search the entry list runs on every keystroke and sorting the list.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "BenchAppState.h"
#include "BenchDatabase.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/GroupTree.h"

namespace {

struct Fixture : BenchAppState {
    explicit Fixture(KdbxDatabase db) : BenchAppState(std::move(db)) {
        GroupTree::forEachEntry(state->database()->root, [&](const KdbxEntry& e) { ids.push_back(e.id); });
    }

    // One edit of the n-th entry through the undoable path.
    void editOne(std::size_t n) {
        KdbxEntry e = *GroupTree::entryWithID(state->database()->root, ids[n % ids.size()]);
        e.title += "*";
        state->update(e);
    }

    std::vector<UUID> ids;
};

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

void BM_EditOneEntry(benchmark::State& bench) {
    Fixture f(benchDatabase({.groups = static_cast<int>(bench.range(0))}));
    std::size_t n = 0;
    for (auto _ : bench) f.editOne(n++ * 7919);
}

void BM_UndoThenRedo(benchmark::State& bench) {
    Fixture f(benchDatabase({.groups = static_cast<int>(bench.range(0))}));
    for (std::size_t n = 0; n < AppState::undoLimit; ++n) f.editOne(n * 7919);
    for (auto _ : bench) {
        f.state->undo();
        f.state->redo();
    }
    bench.SetItemsProcessed(bench.iterations() * 2);  // items/s: undo and redo steps
}

// Heap the database takes, and what 50 recorded steps (each editing one entry) add to it.
void BM_UndoHistoryMemory(benchmark::State& bench) {
    for (auto _ : bench) {
        malloc_trim(0);
        const std::size_t empty = heapInUse();
        Fixture f(benchDatabase({.groups = static_cast<int>(bench.range(0))}));
        const std::size_t opened = heapInUse();
        for (std::size_t n = 0; n < AppState::undoLimit; ++n) f.editOne(n * 7919);
        const std::size_t edited = heapInUse();
        bench.counters["databaseMiB"] = static_cast<double>(opened - empty) / (1 << 20);
        bench.counters["historyMiB"] = static_cast<double>(edited - opened) / (1 << 20);
        bench.counters["historyPercent"] = 100.0 * static_cast<double>(edited - opened) / (opened - empty);
    }
}

void BM_SearchKeystroke(benchmark::State& bench) {
    Fixture f(benchDatabase({.groups = static_cast<int>(bench.range(0))}));
    f.state->setSort({EntrySort::Column::manual, true});
    const QString queries[] = {QStringLiteral("k"), QStringLiteral("kayıt 12"), QStringLiteral("SITE99"),
                               QStringLiteral("önemli kullanici4")};
    std::size_t n = 0;
    std::size_t shown = 0;
    for (auto _ : bench) {
        f.state->setSearchText(queries[n++ % std::size(queries)]);
        shown += f.state->visibleEntries().size();
    }
    benchmark::DoNotOptimize(shown);
}

void BM_SortByTitle(benchmark::State& bench) {
    Fixture f(benchDatabase({.groups = 1}));
    f.state->setSelectedGroupID(f.state->database()->root.groups[0].id);
    f.state->setSort({EntrySort::Column::title, bench.range(0) != 0});
    for (auto _ : bench) benchmark::DoNotOptimize(f.state->visibleEntries());
}

void BM_SortByModified(benchmark::State& bench) {
    Fixture f(benchDatabase({.groups = 1}));
    f.state->setSelectedGroupID(f.state->database()->root.groups[0].id);
    f.state->setSort({EntrySort::Column::modified, true});
    for (auto _ : bench) benchmark::DoNotOptimize(f.state->visibleEntries());
}

}  // namespace

BENCHMARK(BM_EditOneEntry)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UndoThenRedo)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UndoHistoryMemory)->Arg(1)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchKeystroke)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByTitle)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByModified)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return runAppStateBenchmarks(argc, argv);
}
