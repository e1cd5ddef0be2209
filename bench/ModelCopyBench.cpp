// Cost of the undo history's whole-database snapshots: copying a database of 10,000 entries with
// 10 history items each, and changing one entry in the copy (what every edit does).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"

namespace {

constexpr int entryCount = 10000;
constexpr int historyPerEntry = 10;

KdbxEntry makeEntry(int n, int version) {
    KdbxEntry e;
    e.id = UUID::random();
    e.title = "Kayıt " + std::to_string(n);
    e.username = "kullanici" + std::to_string(n) + "@example.com";
    e.password = SecureString("parola-" + std::to_string(n * 7919 + version));
    e.url = "https://site" + std::to_string(n) + ".example.com/giris";
    e.notes = "Not " + std::to_string(n) + ": birkaç satırlık açıklama metni.";
    e.customFields["PIN"] = std::to_string(1000 + n % 9000);
    e.tags = {"iş", "önemli"};
    e.modified = Timestamp(std::chrono::seconds(1'700'000'000 + version));
    return e;
}

// `groups` child groups of the root share the entries evenly (1: all entries in one group).
KdbxDatabase makeDatabase(int groups) {
    std::vector<KdbxGroup> children;
    for (int g = 0; g < groups; ++g) {
        KdbxGroup group;
        group.id = UUID::random();
        group.name = "Grup " + std::to_string(g);
        std::vector<KdbxEntry> entries;
        for (int n = g; n < entryCount; n += groups) {
            KdbxEntry e = makeEntry(n, historyPerEntry);
            std::vector<KdbxEntry> history;
            for (int v = 0; v < historyPerEntry; ++v) history.push_back(makeEntry(n, v));
            e.historyItems = CowList<KdbxEntry>(std::move(history));
            entries.push_back(std::move(e));
        }
        group.entries = CowList<KdbxEntry>(std::move(entries));
        children.push_back(std::move(group));
    }
    KdbxDatabase db;
    db.root.name = "Kök";
    db.root.groups = CowList<KdbxGroup>(std::move(children));
    return db;
}

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
    const KdbxDatabase db = makeDatabase(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        KdbxDatabase copy = db;
        benchmark::DoNotOptimize(copy);
    }
}

void BM_CopyAndChangeOneEntry(benchmark::State& state) {
    const KdbxDatabase db = makeDatabase(static_cast<int>(state.range(0)));
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
        auto current = std::make_unique<KdbxDatabase>(makeDatabase(static_cast<int>(state.range(0))));
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
