#include "HostNameTable.h"

#include <algorithm>

namespace tarnwick {

HostNameTable::HostNameTable(std::size_t capacity, std::chrono::seconds minimumLifetime,
                             std::chrono::seconds maximumLifetime)
    : m_capacity(std::max<std::size_t>(capacity, 1))
    , m_minimumLifetime(minimumLifetime)
    , m_maximumLifetime(maximumLifetime) {}

void HostNameTable::record(const std::string& address, const std::string& name,
                           std::uint32_t timeToLive, Clock::time_point now) {
    const auto lifetime =
        std::clamp(std::chrono::seconds(timeToLive), m_minimumLifetime, m_maximumLifetime);
    std::lock_guard lock(m_mutex);
    if (auto found = m_entries.find(address); found != m_entries.end()) {
        m_ages.erase(found->second.age);
        m_entries.erase(found);
    }
    while (m_entries.size() >= m_capacity) {
        m_entries.erase(m_ages.front());
        m_ages.pop_front();
    }
    m_ages.push_back(address);
    m_entries.emplace(address, Entry{name, now + lifetime, std::prev(m_ages.end())});
}

std::optional<std::string> HostNameTable::lookup(const std::string& address,
                                                 Clock::time_point now) const {
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(address);
    if (found == m_entries.end() || found->second.expiry <= now) {
        return std::nullopt;
    }
    return found->second.name;
}

}  // namespace tarnwick
