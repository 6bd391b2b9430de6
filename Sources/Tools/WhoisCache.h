#pragma once

#include "WhoIs.h"

#include <array>
#include <cstddef>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>

namespace tarnwick {

// Every successful geo-IP answer of the process's life, keyed by the address alone and shared by
// all WhoIs clients. It only grows: each distinct address is asked of the service at most once
// after a successful answer.
//
// Every flow of the machine reads it, from many threads at once, so the map is split into shards
// by the address's hash, each with its own reader-writer lock on its own cache line: readers of
// different addresses rarely touch the same lock, and readers never wait for each other.
class WhoisCache {
public:
    static WhoisCache& shared();

    std::optional<WhoIs::Response> response(const std::string& address) const;
    // Inserts or replaces.
    void store(const WhoIs::Response& response, const std::string& address);
    std::size_t count() const;

    // Used for testing only
    void removeAllForTesting();

private:
    static constexpr std::size_t kShardCount = 64;

    struct alignas(64) Shard {
        mutable std::shared_mutex lockGuard;
        std::unordered_map<std::string, WhoIs::Response> ipMap;
    };

    WhoisCache() = default;
    Shard& shardFor(const std::string& address) const;

    mutable std::array<Shard, kShardCount> m_shards;
};

}  // namespace tarnwick
