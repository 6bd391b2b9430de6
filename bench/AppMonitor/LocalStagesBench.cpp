// A whole scan of 200 application bundles with every rule in force: the local stages (listing,
// Info.plist, localizations, signatures, executable strings, the checks) with the deny list, the
// store and the geo-IP service answering from the loopback.
#include "ScanServices.h"
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

struct Machine {
    testing::TemporaryDirectory home;
    bench::ScanServices services{home / "config"};

    Machine() {
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
    }
};

void BM_ScanOf200Bundles(benchmark::State& state) {
    static Machine machine;
    std::optional<std::size_t> found;
    for (auto _ : state) {
        found = machine.services.scan({machine.home / "Applications", machine.home / "Downloads"});
        if (!found) {
            state.SkipWithError("the scan did not end");
            return;
        }
    }
    state.counters["found"] = static_cast<double>(found.value_or(0));
}
BENCHMARK(BM_ScanOf200Bundles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
}  // namespace tarnwick

BENCHMARK_MAIN();
