// The C strings of a 100 MB executable: our reader (memory-mapped, one section, lower-cased)
// beside GNU strings on the same file, in the same run.
#include "Foundation/Process.h"
#include "Screens/AppMonitor/BinaryStringsParserImpl.h"
#include "support/MachOFixture.h"
#include "support/TemporaryDirectory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

// Made once per run: about 100 MB of strings of 8 to 80 characters, some of them URLs.
const std::filesystem::path& largeExecutable() {
    static testing::TemporaryDirectory folder;
    static const std::filesystem::path path = [] {
        std::mt19937 random(1);
        testing::MachOFixtureImage image;
        std::size_t total = 0;
        const std::string alphabet =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
        while (total < 100u * 1024 * 1024) {
            std::string text =
                random() % 8 == 0 ? "https://host" + std::to_string(random()) + ".example.ru/" : "";
            const std::size_t length = 8 + random() % 72;
            while (text.size() < length) {
                text.push_back(alphabet[random() % alphabet.size()]);
            }
            total += text.size() + 1;
            image.cStrings.push_back(std::move(text));
        }
        const auto file = folder / "Large";
        testing::writeFile(file, testing::buildThinMachO(image));
        return file;
    }();
    return path;
}

void BM_CStringsOfOneSection(benchmark::State& state) {
    const auto& file = largeExecutable();
    std::size_t count = 0;
    for (auto _ : state) {
        auto strings = BinaryStringsParserImpl::parseExecutable(file);
        count = strings.size();
        benchmark::DoNotOptimize(strings.begin());
    }
    state.counters["strings"] = static_cast<double>(count);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_CStringsOfOneSection)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_GnuStringsSameFile(benchmark::State& state) {
    const auto& file = largeExecutable();
    for (auto _ : state) {
        ProcessRequest request;
        request.arguments = {"sh", "-c", "strings -a \"$1\" > /dev/null", "sh", file.string()};
        request.timeLimit = std::chrono::minutes(5);
        auto result = Process::run(request);
        if (!result || !result->succeeded()) {
            state.SkipWithError("GNU strings did not run");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_GnuStringsSameFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace tarnwick
