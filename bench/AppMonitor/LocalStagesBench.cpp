// A whole scan of 200 application bundles with every rule in force: the local stages (listing,
// Info.plist, localizations, signatures, executable strings, the checks) with the deny list, the
// store and the geo-IP service answering from the loopback.
#include "Dispatch/RunLoop.h"
#include "Screens/AppMonitor/AppStoreInfoProvider.h"
#include "Screens/AppMonitor/BinaryStringsParserImpl.h"
#include "Screens/AppMonitor/LocalApplicationsAnalyserImpl.h"
#include "Screens/AppMonitor/StaticAnalysisWorkflow.h"
#include "support/BundleFixture.h"
#include "support/LoopbackHttpServer.h"
#include "support/MachOFixture.h"
#include "support/SigningFixture.h"
#include "support/TemporaryDirectory.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace tarnwick {
namespace {

class Countries final : public UndesirableCountriesManagerType {
public:
    std::vector<Country> currentUndesirableCountries() const override {
        return {Country("RU"), Country("BY")};
    }
};

struct Machine {
    testing::TemporaryDirectory home;
    testing::LoopbackHttpServer web;

    Machine() {
        // The rules of the run are saved in a settings folder of its own, never the user's.
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        const testing::CertificateChain chain(
            {{{"RU"}, "Developer ID Application: Bench", "BENCH12345"},
             {{"US"}, "Authority", std::nullopt}});
        testing::CodeDirectorySpec spec;
        spec.teamIdentifier = "BENCH12345";
        for (int index = 0; index < 200; ++index) {
            testing::BundleFixture bundle;
            bundle.name = "App" + std::to_string(index) + ".app";
            bundle.info = {{"CFBundleIdentifier", "com.bench.app" + std::to_string(index)},
                           {"NSHumanReadableCopyright", "© 2024 Bench Software"},
                           {"SUFeedURL", "https://updates" + std::to_string(index) + ".example/"}};
            bundle.binaryInfo = index % 2 == 0;
            bundle.localizations = {"en", index % 5 == 0 ? "ru" : "de"};
            testing::MachOFixtureImage image;
            for (int s = 0; s < 2000; ++s) {
                image.cStrings.push_back("Some message number " + std::to_string(s));
            }
            image.cStrings.push_back("https://api" + std::to_string(index) +
                                     (index % 7 == 0 ? ".example.ru/v1" : ".example.com/v1"));
            if (index % 3 == 0) {
                image.codeSignature = testing::buildIdentitySignature(chain, spec);
            }
            bundle.executable = testing::buildThinMachO(image);
            testing::writeBundle(home / (index % 4 == 0 ? "Downloads" : "Applications"), bundle);
        }
        web.routes().Get("/application/macos-deny.json", [](const httplib::Request&,
                                                            httplib::Response& response) {
            response.set_content(R"([{"bundleIdSubstring": "app13", "reason": "bench"}])",
                                 "application/json");
        });
        web.routes().Post("/lookup", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(R"({"resultCount": 0, "results": []})", "application/json");
        });
        web.routes().Get(R"(/v1/geoip/ip/([^/]+)/info)", [](const httplib::Request&,
                                                            httplib::Response& response) {
            response.set_content(R"({"country": {"isoCode": "DE"}})", "application/json");
        });
        web.start();
    }
};

void BM_ScanOf200Bundles(benchmark::State& state) {
    static Machine machine;
    Countries countries;
    Preferences preferences;
    std::vector<RestrictionPreference> allRules;
    for (const auto& reason : DetectionReason::allCases()) {
        allRules.emplace_back(reason);
    }
    preferences.saveRestrictions(allRules);
    std::atomic<std::size_t> found{0};
    for (auto _ : state) {
        auto workflow = std::make_shared<StaticAnalysisWorkflow>(
            std::make_shared<DenyListProvider>(std::make_shared<HTTPSession>(), countries,
                                               machine.web.baseURL()),
            std::make_shared<LocalApplicationsScanner>(LocalApplicationsScanner::Folders{
                machine.home / "Applications", machine.home / "Downloads"}),
            std::make_shared<AppStoreInfoProvider>(std::make_shared<HTTPSession>(),
                                                   NotificationCenter::defaultCenter(),
                                                   machine.web.baseURL()),
            std::make_shared<DomainInfoProvider>(
                machine.web.baseURL(),
                DNSResolver([](const std::string&) { return std::string("192.0.2.10"); })),
            std::make_shared<LocalApplicationsAnalyserImpl>(
                std::make_shared<BinaryStringsParserImpl>(), countries),
            countries, preferences);
        std::atomic<bool> done{false};
        auto token = workflow->potentiallyUnwantedApps().sink(
            [&](const StaticAnalysisWorkflow::Results& results) {
                found = results.size();
                done = true;
            });
        workflow->start();
        if (!RunLoop::main().runUntil([&] { return done.load(); }, std::chrono::minutes(2))) {
            state.SkipWithError("the scan did not end");
            return;
        }
    }
    state.counters["found"] = static_cast<double>(found.load());
}
BENCHMARK(BM_ScanOf200Bundles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
}  // namespace tarnwick

BENCHMARK_MAIN();
