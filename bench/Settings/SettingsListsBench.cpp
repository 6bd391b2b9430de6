#include "Dispatch/DispatchQueue.h"
#include "Foundation/UserDefaults.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Tools/AllowanceList.h"
#include "Tools/CountriesProvider.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace tarnwick {
namespace {

// A settings file of its own holding `count` entries in each of the host deny list and the
// application allow list, as years of answers to the connection alert leave them.
void storeLists(std::int64_t count) {
    // The folder goes when the program ends, settings file and all.
    static const struct Folder {
        Folder()
            : path(std::filesystem::temp_directory_path() /
                   ("tarnwick-settings-bench-" + std::to_string(::getpid()))) {
            std::filesystem::create_directories(path);
        }
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
        std::filesystem::path path;
    } folder;
    UserDefaults::standard().resetForTesting(folder.path / "settings.json");
    AllowanceList lists;
    for (std::int64_t i = 0; i < count; ++i) {
        lists.hostBlacklist.push_back("host-" + std::to_string(i) + ".example.ru");
        lists.bundleIDWhitelist.push_back("org.example.app" + std::to_string(i));
    }
    lists.saveToSettings();
}

// The lists' part of the decision on a flow into a target country that no entry names: the
// engine asks the allow lists, then the deny lists.
void listDecision(benchmark::State& state) {
    storeLists(state.range(0));
    const auto model = std::make_shared<SettingsViewModel>();
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
    storeLists(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::make_shared<SettingsViewModel>());
        DispatchQueue::main()->drainMain();
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
BENCHMARK(countrySearch)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarnwick

BENCHMARK_MAIN();
