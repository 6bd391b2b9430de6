#include "Dispatch/DispatchQueue.h"
#include "EngineServices.h"
#include "Foundation/UserDefaults.h"
#include "Network/ManualPathSource.h"
#include "Network/PathMonitor.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Tools/AllowanceList.h"
#include "Tools/WhoisCache.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace tarnwick {
namespace {

// One engine over a settings file of its own, with "203.0.113.1" cached in "RU" (its
// application stands in the deny list) and "198.51.100.1" cached in "DE".
struct Engine {
    Engine() {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("tarnwick-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        UserDefaults::standard().resetForTesting(folder / "settings.json");
        AllowanceList lists;
        lists.bundleIDBlacklist = {"org.example.Denied"};
        lists.saveToSettings();
        WhoisCache::shared().store({"203.0.113.1", "RU", std::nullopt, false}, "203.0.113.1");
        WhoisCache::shared().store({"198.51.100.1", "DE", std::nullopt, false}, "198.51.100.1");
        settings = processSettingsModel();
        model = ConnectionsMonitorViewModel::create(engineServices(settings));
        DispatchQueue::main()->drainMain();
    }
    std::shared_ptr<SettingsViewModel> settings;
    std::shared_ptr<ConnectionsMonitorViewModel> model;
};

Engine& engine() {
    static Engine* shared = new Engine();
    return *shared;
}

// Flow dictionary in, reply out: the decision and the recording it schedules, on the main queue.
void decide(benchmark::State& state, const AppCommunication::FlowInfo& flow, bool expected) {
    auto& model = *engine().model;
    for (auto _ : state) {
        bool replied = false;
        bool verdict = !expected;
        model.promptUser(flow, [&](bool allow) {
            replied = true;
            verdict = allow;
        });
        while (!replied) {
            DispatchQueue::main()->drainMain();
        }
        if (verdict != expected) {
            state.SkipWithError("unexpected verdict");
            break;
        }
    }
    DispatchQueue::main()->drainMain();
}

void cachedOtherCountry(benchmark::State& state) {
    decide(state,
           {{"localPort", "8080"},
            {"remoteAddress", "198.51.100.1"},
            {"bundleId", "org.example.A"},
            {"url", ""},
            {"aza", "example.de"}},
           true);
}

void cachedTargetCountryDeniedByList(benchmark::State& state) {
    decide(state,
           {{"localPort", "8080"},
            {"remoteAddress", "203.0.113.1"},
            {"bundleId", "org.example.Denied"},
            {"url", ""},
            {"aza", "example.ru"}},
           false);
}

BENCHMARK(cachedOtherCountry)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(cachedTargetCountryDeniedByList)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tarnwick

BENCHMARK_MAIN();
