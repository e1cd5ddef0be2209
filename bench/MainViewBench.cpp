// The entry column over a group of 10,000 entries: how long the rows take to be listed again
// when the group changes (a model reset), when an entry's access time is stamped (same rows,
// new data), when a search narrows them, and what painting one screen of rows costs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QScrollBar>

#include "BenchAppState.h"
#include "BenchDatabase.h"
#include "OmbrixState/AppState.h"
#include "OmbrixState/GroupTree.h"
#include "OmbrixTheme/ApplicationTheme.h"
#include "OmbrixTheme/FontRegistrar.h"
#include "OmbrixUI/EntryList.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/EntryListView.h"

namespace {

// The root holds nothing of its own; its one child group holds every entry.
struct Fixture : BenchAppState {
    Fixture() : BenchAppState(benchDatabase({.groups = 1, .historyPerEntry = 0})) {
        root = state->database()->root.id;
        group = state->database()->root.groups[0].id;
        first = state->database()->root.groups[0].entries[0];
    }

    UUID root;
    UUID group;
    KdbxEntry first;
};

// Empty root, then the 10,000-entry group: two resets per iteration.
void BM_ModelResetSwitchingGroups(benchmark::State& bench) {
    Fixture f;
    f.state->setSort({EntrySort::Column(bench.range(0)), true});
    EntryListModel model(*f.state);
    for (auto _ : bench) {
        f.state->setSelectedGroupID(f.group);
        f.state->setSelectedGroupID(f.root);
    }
    bench.SetItemsProcessed(bench.iterations() * benchEntryCount);
}

// Copying a password stamps the entry's access time: a new database with the same rows.
void BM_ModelSameRowsAfterTouch(benchmark::State& bench) {
    Fixture f;
    f.state->setSelectedGroupID(f.group);
    EntryListModel model(*f.state);
    for (auto _ : bench) f.state->copyPassword(f.first);
}

void BM_ModelSearchKeystroke(benchmark::State& bench) {
    Fixture f;
    EntryListModel model(*f.state);
    const QString queries[] = {QStringLiteral("k"), QStringLiteral("kayıt 12"), QStringLiteral("site99")};
    std::size_t n = 0;
    for (auto _ : bench) f.state->setSearchText(queries[n++ % std::size(queries)]);
}

// The whole column on screen: switching to the big group and laying out and painting it.
void BM_ViewSwitchAndPaint(benchmark::State& bench) {
    Fixture f;
    EntryListView view(*f.state);
    view.resize(340, 640);
    view.show();
    QApplication::processEvents();
    for (auto _ : bench) {
        f.state->setSelectedGroupID(f.group);
        view.list()->viewport()->repaint();
        f.state->setSelectedGroupID(f.root);
        QApplication::processEvents();
    }
}

// Scrolling one screen further and painting the rows that come into view.
void BM_ViewScrollPage(benchmark::State& bench) {
    Fixture f;
    f.state->setSelectedGroupID(f.group);
    EntryListView view(*f.state);
    view.resize(340, 640);
    view.show();
    QApplication::processEvents();
    QScrollBar* bar = view.list()->verticalScrollBar();
    for (auto _ : bench) {
        bar->setValue(bar->value() + bar->pageStep() > bar->maximum() ? 0 : bar->value() + bar->pageStep());
        view.list()->viewport()->repaint();
    }
}

}  // namespace

BENCHMARK(BM_ModelResetSwitchingGroups)
    ->Arg(int(EntrySort::Column::manual))
    ->Arg(int(EntrySort::Column::title))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelSameRowsAfterTouch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelSearchKeystroke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewSwitchAndPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewScrollPage)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FontRegistrar::registerBundledFonts();
    ApplicationTheme::apply(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
