#include "Tools/WhoIs.h"
#include "Tools/WhoisCache.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

constexpr std::size_t kCachedAddresses = 10'000;

// 10,000 distinct public addresses, each with a cached answer.
const std::vector<std::string>& cachedAddresses() {
    static const std::vector<std::string> addresses = [] {
        std::vector<std::string> all;
        all.reserve(kCachedAddresses);
        for (std::size_t i = 0; i < kCachedAddresses; ++i) {
            std::string address = "81." + std::to_string(i / 256 % 256) + "." +
                                  std::to_string(i % 256) + "." + std::to_string(i % 200 + 1);
            WhoisCache::shared().store(
                WhoIs::Response{address, "DE", WhoIs::Response::Coordinates{52.5, 13.4}, false},
                address);
            all.push_back(std::move(address));
        }
        return all;
    }();
    return addresses;
}

// A lookup of an address answered before: the cache hands the answer over on the caller's thread.
void cachedLookup(benchmark::State& state) {
    const auto& addresses = cachedAddresses();
    static const WhoIs whois("https://geo.example/");
    std::size_t next = static_cast<std::size_t>(state.thread_index()) * 1223;
    std::size_t answered = 0;
    for (auto _ : state) {
        whois.lookup(addresses[next % addresses.size()], std::nullopt,
                     [&answered](std::optional<WhoIs::Response> answer) {
                         answered += answer.has_value() ? 1 : 0;
                     });
        next += 7;
    }
    if (answered != static_cast<std::size_t>(state.iterations())) {
        state.SkipWithError("an address was not answered from the cache");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(cachedLookup)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace
}  // namespace tarnwick

BENCHMARK_MAIN();
