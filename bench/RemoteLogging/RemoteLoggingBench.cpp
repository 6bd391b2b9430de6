// What the remote log destinations cost: encrypting a payload (linear in its size), storing one
// entry of the platform destination (an open, append and close of its entries file) and building
// one batch from the sending file (read, parse, document, encryption) without a network.

#include "Logging/AES256CBC.h"
#include "Logging/LHPlatformDestination.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <stdlib.h>

namespace {

using namespace tarnwick;

constexpr std::string_view kKey = "k3y-of-exactly-thirty-two-bytes!";

std::filesystem::path benchFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "remotelogbench-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    return folder;
}

std::shared_ptr<LHPlatformDestination> destination(const std::string& name) {
    const auto home = benchFolder() / name;
    std::filesystem::remove_all(home);
    LHPlatformDestination::Services services;
    services.directories = StandardDirectories([home](const std::string& variable) {
        return variable == "XDG_DATA_HOME" ? std::optional(home.string()) : std::nullopt;
    });
    // No server: a batch is built and encrypted, then kept as undelivered.
    return std::make_shared<LHPlatformDestination>(
        "id", "secret", std::string(kKey), std::nullopt,
        LHPlatformDestination::FileNames{"entries.jsonl", "sending.jsonl", "analytics.json"},
        std::move(services));
}

void BM_EncryptPayload(benchmark::State& state) {
    const std::string plain(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        auto encrypted = AES256CBC::encryptedText(plain, kKey);
        benchmark::DoNotOptimize(encrypted);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EncryptPayload)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20);

void BM_StoreOneEntry(benchmark::State& state) {
    auto platform = destination("store");
    SendingPoints points;
    points.threshold = 1;
    points.info = 0;  // never reaches a batch
    platform->setSendingPoints(points);
    platform->execute(true, [&] {
        for (auto _ : state) {
            auto line = platform->send(LogLevel::info, "connection allowed", "worker",
                                       "/src/App/Main.swift", "run()", 12, {});
            benchmark::DoNotOptimize(line);
        }
    });
}
BENCHMARK(BM_StoreOneEntry);

void BM_BuildBatch(benchmark::State& state) {
    auto platform = destination("batch" + std::to_string(state.range(0)));
    {
        std::ofstream sending(platform->sendingFileURL());
        for (std::int64_t i = 0; i < state.range(0); ++i) {
            sending << "{\"fileName\":\"Main.swift\",\"function\":\"run()\",\"level\":2,"
                       "\"line\":12,\"message\":\"connection from com.example.browser allowed\","
                       "\"thread\":\"\",\"timestamp\":1767323045.678}"
                    << '\n';
        }
    }
    platform->execute(true, [&] {
        for (auto _ : state) {
            platform->uploadPendingEntries();
        }
    });
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_BuildBatch)->Arg(10)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
