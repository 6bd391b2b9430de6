#include "ReverseDomainsCache.h"

namespace tarnwick {

ReverseDomainsCache& ReverseDomainsCache::shared() {
    // Never destroyed: look-ups on other threads may still write while the process exits.
    static auto* cache = new ReverseDomainsCache;
    return *cache;
}

std::optional<std::string> ReverseDomainsCache::hostName(const std::string& address) const {
    std::lock_guard lock(m_lockGuard);
    if (const auto found = m_ipMap.find(address); found != m_ipMap.end()) {
        return found->second;
    }
    return std::nullopt;
}

void ReverseDomainsCache::setHostName(const std::string& hostName, const std::string& address) {
    std::lock_guard lock(m_lockGuard);
    m_ipMap.insert_or_assign(address, hostName);
}

void ReverseDomainsCache::removeAllForTesting() {
    std::lock_guard lock(m_lockGuard);
    m_ipMap.clear();
}

}  // namespace tarnwick
