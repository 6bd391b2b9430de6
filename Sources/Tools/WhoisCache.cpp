#include "WhoisCache.h"

#include <mutex>

namespace tarnwick {

WhoisCache& WhoisCache::shared() {
    // Never destroyed: lookups may still complete while the process exits.
    static auto* cache = new WhoisCache;
    return *cache;
}

WhoisCache::Shard& WhoisCache::shardFor(const std::string& address) const {
    return m_shards[std::hash<std::string>{}(address) % kShardCount];
}

std::optional<WhoIs::Response> WhoisCache::response(const std::string& address) const {
    const Shard& shard = shardFor(address);
    std::shared_lock lock(shard.lockGuard);
    if (shard.ipMap.empty()) {
        return std::nullopt;
    }
    if (const auto found = shard.ipMap.find(address); found != shard.ipMap.end()) {
        return found->second;
    }
    return std::nullopt;
}

void WhoisCache::store(const WhoIs::Response& response, const std::string& address) {
    Shard& shard = shardFor(address);
    std::unique_lock lock(shard.lockGuard);
    shard.ipMap.insert_or_assign(address, response);
}

std::size_t WhoisCache::count() const {
    std::size_t total = 0;
    for (const Shard& shard : m_shards) {
        std::shared_lock lock(shard.lockGuard);
        total += shard.ipMap.size();
    }
    return total;
}

void WhoisCache::removeAllForTesting() {
    for (Shard& shard : m_shards) {
        std::unique_lock lock(shard.lockGuard);
        shard.ipMap.clear();
    }
}

}  // namespace tarnwick
