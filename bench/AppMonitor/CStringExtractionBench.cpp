// The C strings of a large executable: our reader (headers and one section read, lower-cased in
// place) beside GNU strings on the same file, in the same run; the goal is five times its speed.
#include "Foundation/Process.h"
#include "Screens/AppMonitor/BinaryStringsParserImpl.h"
#include "support/MachOFixture.h"
#include "support/TemporaryDirectory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

// Made once per run and size: strings of 8 to 80 characters, some of them URLs. The reader takes
// at most the first 32 MB of a section: the 100 MB file is the one a user may have, the 30 MB one
// compares the same amount of work on both sides.
const std::filesystem::path& largeExecutable(std::size_t megabytes) {
    static testing::TemporaryDirectory folder;
    static std::map<std::size_t, std::filesystem::path> made;
    if (auto found = made.find(megabytes); found != made.end()) {
        return found->second;
    }
    std::mt19937 random(1);
    testing::MachOFixtureImage image;
    std::size_t total = 0;
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
    while (total < megabytes * 1024 * 1024) {
        std::string text =
            random() % 8 == 0 ? "https://host" + std::to_string(random()) + ".example.ru/" : "";
        const std::size_t length = 8 + random() % 72;
        while (text.size() < length) {
            text.push_back(alphabet[random() % alphabet.size()]);
        }
        total += text.size() + 1;
        image.cStrings.push_back(std::move(text));
    }
    const auto file = folder / ("Large" + std::to_string(megabytes));
    testing::writeFile(file, testing::buildThinMachO(image));
    return made.emplace(megabytes, file).first->second;
}

void BM_CStringsOfOneSection(benchmark::State& state) {
    const auto& file = largeExecutable(static_cast<std::size_t>(state.range(0)));
    std::size_t count = 0;
    std::size_t memory = 0;
    for (auto _ : state) {
        auto strings = BinaryStringsParserImpl::parseExecutable(file);
        count = strings.size();
        memory = strings.memoryBytes();
        benchmark::DoNotOptimize(strings.begin());
    }
    state.counters["strings"] = static_cast<double>(count);
    // What the list holds, against the 48 MB one file is granted.
    state.counters["list_MB"] = static_cast<double>(memory) / (1 << 20);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_CStringsOfOneSection)
    ->Arg(100)
    ->Arg(30)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

void BM_GnuStringsSameFile(benchmark::State& state) {
    const auto& file = largeExecutable(static_cast<std::size_t>(state.range(0)));
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
BENCHMARK(BM_GnuStringsSameFile)
    ->Arg(100)
    ->Arg(30)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
}  // namespace tarnwick
