// What a log call costs the thread that makes it: an entry nobody takes, and an accepted entry
// handed to the asynchronous file destination, beside the same work through spdlog's
// asynchronous file logger. Both loggers write to files in a temporary folder.

#include "Logging/FileDestination.h"
#include "Logging/LogHub.h"

#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdlib.h>

namespace {

using namespace tarnwick;
using Clock = std::chrono::steady_clock;

// Entries per thread for the accepted-entry runs. Fixed, so both loggers do the same work and the
// queues stay within memory while the consumer catches up.
constexpr int kAcceptedEntries = 50'000;
const char* const kMessage = "connection from com.example.browser to 203.0.113.5 allowed";

std::filesystem::path benchFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "logbench-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    return folder;
}

std::shared_ptr<FileDestination> applicationDestination(const std::string& name) {
    auto destination = std::make_shared<FileDestination>(benchFolder() / name);
    destination->setFormat("$Dyyyy-MM-dd HH:mm:ss.SSS$d $C[$L]$c$X: $M");
    destination->setMinLevel(LogLevel::info);
    return destination;
}

// The caller-side cost per call, averaged over the benchmark's threads.
void reportCallerCost(benchmark::State& state, Clock::duration elapsed) {
    const double nanoseconds = std::chrono::duration<double, std::nano>(elapsed).count();
    state.counters["caller_ns"] = benchmark::Counter(
        nanoseconds / static_cast<double>(state.iterations()), benchmark::Counter::kAvgThreads);
}

void BM_DebugEntryNobodyTakes(benchmark::State& state) {
    static std::shared_ptr<FileDestination> destination;
    if (state.thread_index() == 0) {
        LogHub::removeAllDestinations();
        destination = applicationDestination("untaken.log");
        LogHub::addDestination(destination);
    }
    std::atomic<long> evaluations{0};
    const auto start = Clock::now();
    for (auto _ : state) {
        LogHub::debug([&] {
            evaluations.fetch_add(1, std::memory_order_relaxed);
            return kMessage;
        });
    }
    reportCallerCost(state, Clock::now() - start);
    if (evaluations.load() != 0) {
        state.SkipWithError("the message of an untaken entry was evaluated");
    }
    if (state.thread_index() == 0) {
        LogHub::removeAllDestinations();
        destination.reset();
    }
}
BENCHMARK(BM_DebugEntryNobodyTakes)->Threads(1)->Threads(4)->UseRealTime();

void BM_InfoEntryToAsyncFile_Tarnwick(benchmark::State& state) {
    static std::shared_ptr<FileDestination> destination;
    if (state.thread_index() == 0) {
        LogHub::removeAllDestinations();
        destination =
            applicationDestination("tarnwick-" + std::to_string(state.threads()) + ".log");
        LogHub::addDestination(destination);
        // Both loggers start warm: spdlog allocates its queue up front, ours grows its buffers
        // with the first burst and keeps them.
        for (int i = 0; i < kAcceptedEntries; ++i) {
            LogHub::info(kMessage);
        }
        LogHub::flush(600);
    }
    const auto start = Clock::now();
    for (auto _ : state) {
        LogHub::info(kMessage);
    }
    reportCallerCost(state, Clock::now() - start);
    if (state.thread_index() == 0) {
        // Outside the measured loop: let the destination catch up before the next run.
        if (!LogHub::flush(600)) {
            state.SkipWithError("the file destination did not catch up");
        }
        LogHub::removeAllDestinations();
        destination.reset();
    }
}
BENCHMARK(BM_InfoEntryToAsyncFile_Tarnwick)
    ->Threads(1)
    ->Threads(4)
    ->Iterations(kAcceptedEntries)
    ->UseRealTime();

void BM_InfoEntryToAsyncFile_Spdlog(benchmark::State& state) {
    static std::shared_ptr<spdlog::logger> logger;
    if (state.thread_index() == 0) {
        // spdlog's default: 8192 queued entries, one worker; a caller waits when the queue is full.
        spdlog::init_thread_pool(8192, 1);
        logger = spdlog::basic_logger_mt<spdlog::async_factory>(
            "bench",
            (benchFolder() / ("spdlog-" + std::to_string(state.threads()) + ".log")).string());
        logger->set_pattern("%Y-%m-%d %H:%M:%S.%e [%^%L%$]: %v");
        logger->set_level(spdlog::level::info);
        for (int i = 0; i < kAcceptedEntries; ++i) {
            logger->info(kMessage);
        }
    }
    const auto start = Clock::now();
    for (auto _ : state) {
        logger->info(kMessage);
    }
    reportCallerCost(state, Clock::now() - start);
    if (state.thread_index() == 0) {
        logger.reset();
        spdlog::drop_all();
        spdlog::shutdown();
    }
}
BENCHMARK(BM_InfoEntryToAsyncFile_Spdlog)
    ->Threads(1)
    ->Threads(4)
    ->Iterations(kAcceptedEntries)
    ->UseRealTime();

// Keeps the caller-side cost of every run, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            auto counter = run.counters.find("caller_ns");
            if (counter != run.counters.end()) {
                m_callerNs[run.benchmark_name()] = counter->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const {
        std::printf("\nCaller-side cost per accepted entry (async file), ours against spdlog:\n");
        for (const int threads : {1, 4}) {
            const std::string suffix = "/iterations:" + std::to_string(kAcceptedEntries) +
                                       "/real_time/threads:" + std::to_string(threads);
            const auto ours = m_callerNs.find("BM_InfoEntryToAsyncFile_Tarnwick" + suffix);
            const auto theirs = m_callerNs.find("BM_InfoEntryToAsyncFile_Spdlog" + suffix);
            if (ours == m_callerNs.end() || theirs == m_callerNs.end()) {
                continue;
            }
            std::printf("  %d thread(s): %.1f ns vs %.1f ns, ratio %.2f (target: at most 1.50)\n",
                        threads, ours->second, theirs->second, ours->second / theirs->second);
        }
        for (const int threads : {1, 4}) {
            const auto untaken = m_callerNs.find("BM_DebugEntryNobodyTakes/real_time/threads:" +
                                                 std::to_string(threads));
            if (untaken != m_callerNs.end()) {
                std::printf("Untaken debug entry, %d thread(s): %.2f ns (target: under 20 ns)\n",
                            threads, untaken->second);
            }
        }
    }

private:
    std::map<std::string, double> m_callerNs;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    std::error_code error;
    std::filesystem::remove_all(benchFolder(), error);
    return 0;
}
