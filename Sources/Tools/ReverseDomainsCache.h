#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace tarnwick {

// The process-wide memory of reverse look-ups: the host name found for each remote address.
// Entries are never removed; a later name for an address replaces the earlier one.
class ReverseDomainsCache {
public:
    static ReverseDomainsCache& shared();

    std::optional<std::string> hostName(const std::string& address) const;
    void setHostName(const std::string& hostName, const std::string& address);

    // Used for testing only
    void removeAllForTesting();

private:
    ReverseDomainsCache() = default;

    mutable std::mutex m_lockGuard;
    std::unordered_map<std::string, std::string> m_ipMap;
};

}  // namespace tarnwick
