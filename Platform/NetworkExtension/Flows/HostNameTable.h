#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace tarnwick {

// Which name each address was last looked up by, from the DNS answers the host has seen. An entry
// lives at least a few minutes whatever the answer's time to live (programs keep addresses longer
// than they are told), and the table holds a bounded number of addresses, forgetting the oldest.
class HostNameTable {
public:
    using Clock = std::chrono::steady_clock;

    explicit HostNameTable(std::size_t capacity = 8192,
                           std::chrono::seconds minimumLifetime = std::chrono::minutes(10),
                           std::chrono::seconds maximumLifetime = std::chrono::hours(24));

    void record(const std::string& address, const std::string& name, std::uint32_t timeToLive,
                Clock::time_point now);
    std::optional<std::string> lookup(const std::string& address, Clock::time_point now) const;

private:
    struct Entry {
        std::string name;
        Clock::time_point expiry;
        std::list<std::string>::iterator age;
    };

    const std::size_t m_capacity;
    const std::chrono::seconds m_minimumLifetime;
    const std::chrono::seconds m_maximumLifetime;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
    std::list<std::string> m_ages;  // oldest first
};

}  // namespace tarnwick
