#include "BenchLists.h"
#include "Dispatch/DispatchQueue.h"
#include "Screens/Presenters/ConnectionAlertAnswer.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Tools/CountriesProvider.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace tarnwick {
namespace {

// The lists' part of the decision on a flow into a target country that no entry names: the
// engine asks the allow lists, then the deny lists.
void listDecision(benchmark::State& state) {
    storeBenchLists(state.range(0));
    const auto model = processSettingsModel();
    const SettingsAllowancesListManager::FlowInfo flow{{"localPort", "8080"},
                                                       {"remoteAddress", "203.0.113.9"},
                                                       {"bundleId", "org.example.Unlisted"},
                                                       {"url", ""},
                                                       {"aza", "unlisted.example.ru"}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(model->isAllowed(flow));
        benchmark::DoNotOptimize(model->isDenied(flow));
    }
}

// Reading the stored lists and building the rows, as at every launch.
void modelStart(benchmark::State& state) {
    storeBenchLists(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(processSettingsModel());
        DispatchQueue::main()->drainMain();
    }
}

// The arrow of a row: the entry moves to the other list, both lists are rebuilt and saved.
void moveEntry(benchmark::State& state) {
    storeBenchLists(state.range(0));
    const auto model = processSettingsModel();
    // The arrow is on the Settings screen, which shows the rows.
    const auto rowsShown = model->showListRows();
    for (auto _ : state) {
        model->moveToOtherList(model->denyList.get().front());
    }
}

// What the model holds in memory for the lists: the heap in use with it and without it, as the
// engine holds it (no rows shown).
void modelMemory(benchmark::State& state) {
    storeBenchLists(state.range(0));
    for (auto _ : state) {
        const double before = static_cast<double>(::mallinfo2().uordblks);
        const auto model = processSettingsModel();
        state.counters["MiB"] =
            (static_cast<double>(::mallinfo2().uordblks) - before) / (1024.0 * 1024.0);
    }
}

// An answer of the connection alert that adds a host to the deny list, on the main queue that
// serves every decision: the list change, the decision's index and what is saved.
void answerAlert(benchmark::State& state) {
    storeBenchLists(state.range(0));
    const auto model = processSettingsModel();
    std::int64_t next = 0;
    for (auto _ : state) {
        const std::string host = "answered-" + std::to_string(next++) + ".example.ru";
        const SettingsAllowancesListManager::FlowInfo flow{
            {"bundleId", "org.example.Answered"}, {"remoteAddress", "203.0.113.9"}, {"aza", host}};
        model->applyAlertAnswer(static_cast<int>(ConnectionAlertAnswer::denyHost), flow,
                                "203.0.113.9");
    }
}

// One answer of the search field over every country.
void countrySearch(benchmark::State& state) {
    const auto countries = CountriesProvider().countriesSortedByAlphabet();
    for (auto _ : state) {
        std::size_t found = 0;
        for (const auto& country : countries) {
            found += SettingsViewModel::countryMatches(country, "germ") ? 1 : 0;
        }
        benchmark::DoNotOptimize(found);
    }
}

BENCHMARK(listDecision)->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK(modelStart)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(moveEntry)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(modelMemory)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(answerAlert)->Arg(0)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(countrySearch)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarnwick

BENCHMARK_MAIN();
