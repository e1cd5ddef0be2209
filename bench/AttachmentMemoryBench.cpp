// Peak memory of a database holding 20 MB of attachments: loading the file (its bytes read from
// disk as the application reads them included), then 50 edits through the application state, each with its
// undo snapshot. Figures in MiB, each the growth above what the fresh process held before the file was read:
// loadPeakMiB against loadLimitMiB (three times the file plus 32 MiB), and editsAddMiB, what the
// edits add to that peak, against editsLimitMiB (a tenth of the load peak plus 16 MiB).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "BenchAppState.h"
#include "BenchDatabase.h"
#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/FileStore.h"
#include "OmbrixState/GroupTree.h"
#include "PeakMemory.h"

namespace {

KdbxKey key() {
    return KdbxKey(SecretBytes("parola"), std::nullopt);
}

void BM_AttachmentsLoadAndEdits(benchmark::State& bench) {
    const std::string path = "/tmp/ombrix-attachments-bench.kdbx";
    const Bytes file = KdbxFile::save(benchDatabaseWithAttachments(), key());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
        if (!out.flush()) bench.SkipWithError("the database file could not be written");
    }
    for (auto _ : bench) {
        const std::vector<double> figures = peakmemory::inChild([&] {
            const std::size_t base = peakmemory::start();
            KdbxDatabase db = KdbxFile::load(LocalFileStore().read(QString::fromStdString(path)), key());
            const double loadPeak = static_cast<double>(peakmemory::peak() - base);
            std::vector<UUID> ids;
            for (const KdbxEntry& e : db.root.entries) ids.push_back(e.id);
            BenchAppState app(std::move(db));
            for (std::size_t n = 0; n < AppState::undoLimit; ++n) {
                KdbxEntry e = *GroupTree::entryWithID(app.state->database()->root, ids[n * 7 % ids.size()]);
                e.title += "*";
                app.state->update(e);
            }
            const double editsPeak = static_cast<double>(peakmemory::peak() - base);
            return std::vector<double>{loadPeak, editsPeak};
        });
        if (figures.size() != 2) {
            bench.SkipWithError("the measuring process failed");
            break;
        }
        const double fileMiB = peakmemory::mib(static_cast<double>(file.size()));
        const double loadMiB = peakmemory::mib(figures[0]);
        bench.counters["fileMiB"] = fileMiB;
        bench.counters["loadPeakMiB"] = loadMiB;
        bench.counters["loadLimitMiB"] = 3 * fileMiB + 32;
        bench.counters["editsAddMiB"] = peakmemory::mib(figures[1] - figures[0]);
        bench.counters["editsLimitMiB"] = loadMiB / 10 + 16;
    }
    std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_AttachmentsLoadAndEdits)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return runAppStateBenchmarks(argc, argv);
}
