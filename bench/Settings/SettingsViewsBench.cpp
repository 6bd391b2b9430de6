#include "BenchLists.h"
#include "Dispatch/DispatchQueue.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/AllowancesListView.h"

#include <QApplication>
#include <QListView>
#include <QScrollBar>

#include <benchmark/benchmark.h>

namespace tarnwick {
namespace {

std::shared_ptr<SettingsViewModel> modelWithLists(std::int64_t count) {
    storeBenchLists(count);
    return processSettingsModel();
}

// Opening the connections tab over both lists until it is drawn.
void connectionsTabOpens(benchmark::State& state) {
    const auto model = modelWithLists(state.range(0));
    for (auto _ : state) {
        AllowancesListView view(model);
        view.resize(900, 600);
        view.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(view.grab());
    }
}

// One step of scrolling through the deny list, drawn.
void connectionsTabScrolls(benchmark::State& state) {
    const auto model = modelWithLists(state.range(0));
    AllowancesListView view(model);
    view.resize(900, 600);
    view.show();
    QApplication::processEvents();
    QScrollBar* bar = view.denyColumn().list->verticalScrollBar();
    int position = 0;
    for (auto _ : state) {
        position = (position + 600) % std::max(bar->maximum(), 1);
        bar->setValue(position);
        benchmark::DoNotOptimize(view.denyColumn().list->viewport()->grab());
    }
}

BENCHMARK(connectionsTabOpens)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(connectionsTabScrolls)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarnwick
