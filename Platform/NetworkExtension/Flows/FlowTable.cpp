#include "FlowTable.h"

#include "IPPacket.h"

namespace tarnwick {

namespace {

template <typename Counts, typename Id>
void decrement(Counts& counts, Id id) {
    if (auto count = counts.find(id); count != counts.end() && --count->second == 0) {
        counts.erase(count);
    }
}

}  // namespace

FlowTable::Key FlowTable::Key::of(const IPPacket& packet, std::uint64_t instance) {
    Key key;
    key.family = packet.family;
    key.protocol = packet.protocol;
    key.source = packet.source;
    key.destination = packet.destination;
    key.sourcePort = packet.sourcePort;
    key.destinationPort = packet.destinationPort;
    key.instance = instance;
    return key;
}

std::size_t FlowTable::KeyHash::operator()(const Key& key) const {
    std::size_t hash = 1469598103934665603ull;
    auto mix = [&hash](std::uint64_t value) {
        hash ^= value;
        hash *= 1099511628211ull;
    };
    mix(static_cast<std::uint64_t>(key.family) << 8 | static_cast<std::uint64_t>(key.protocol));
    mix(static_cast<std::uint64_t>(key.sourcePort) << 16 | key.destinationPort);
    mix(key.instance);
    for (std::size_t i = 0; i < 16; i += 8) {
        std::uint64_t source = 0;
        std::uint64_t destination = 0;
        for (std::size_t j = 0; j < 8; ++j) {
            source = source << 8 | key.source[i + j];
            destination = destination << 8 | key.destination[i + j];
        }
        mix(source);
        mix(destination);
    }
    return hash;
}

FlowTable::FlowTable() : FlowTable(Limits{}) {}

FlowTable::FlowTable(Limits limits) : m_limits(limits) {}

FlowTable::Admission FlowTable::admit(const Key& key, std::uint32_t packetId, TimePoint now) {
    std::lock_guard lock(m_mutex);
    if (auto held = m_heldByKey.find(key); held != m_heldByKey.end()) {
        auto& flow = m_held.at(held->second);
        if (flow.packetIds.size() >= m_limits.packetsPerFlow) {
            return {Admission::Kind::overflow, Verdict::reject};
        }
        flow.packetIds.push_back(packetId);
        return {Admission::Kind::joined, Verdict::accept};
    }
    if (auto decision = m_decisions.find(key); decision != m_decisions.end()) {
        // Not refreshed: a connection that still counts as new after this long is not the one
        // that was answered.
        if (decision->second.expiry > now) {
            return {Admission::Kind::decided, decision->second.verdict};
        }
        m_decisions.erase(decision);
    }
    return {Admission::Kind::newFlow, Verdict::accept};
}

bool FlowTable::hasRoomFor(const Origin& origin) const {
    std::lock_guard lock(m_mutex);
    const auto count = [](const auto& counts, auto id) {
        const auto found = counts.find(id);
        return found == counts.end() ? std::size_t{0} : found->second;
    };
    return m_held.size() < m_limits.held &&
           (origin.pid == 0 || count(m_heldByProcess, origin.pid) < m_limits.heldPerProcess) &&
           count(m_heldByUser, origin.uid) < m_limits.heldPerUser;
}

void FlowTable::begin(const Key& key, const Origin& origin, std::uint64_t flowIdentifier,
                      std::uint32_t packetId, TimePoint now) {
    std::lock_guard lock(m_mutex);
    Held held{key, origin, {packetId}, true, std::nullopt, now + m_limits.pauseLimit};
    m_held.insert_or_assign(flowIdentifier, std::move(held));
    m_heldByKey.insert_or_assign(key, flowIdentifier);
    if (origin.pid != 0) {
        ++m_heldByProcess[origin.pid];
    }
    ++m_heldByUser[origin.uid];
}

bool FlowTable::attribute(std::uint64_t flowIdentifier, pid_t pid) {
    std::lock_guard lock(m_mutex);
    auto found = m_held.find(flowIdentifier);
    if (found == m_held.end() || found->second.origin.pid != 0 || pid == 0) {
        return true;
    }
    if (auto count = m_heldByProcess.find(pid);
        count != m_heldByProcess.end() && count->second >= m_limits.heldPerProcess) {
        return false;
    }
    found->second.origin.pid = pid;
    ++m_heldByProcess[pid];
    return true;
}

std::optional<FlowTable::Release> FlowTable::settle(std::uint64_t flowIdentifier,
                                                    std::optional<Verdict> verdict, TimePoint now) {
    std::lock_guard lock(m_mutex);
    auto found = m_held.find(flowIdentifier);
    if (found == m_held.end() || !found->second.examining) {
        return std::nullopt;
    }
    if (verdict) {
        return releaseLocked(flowIdentifier, *verdict, now);
    }
    if (found->second.earlyVerdict) {
        return releaseLocked(flowIdentifier, *found->second.earlyVerdict, now);
    }
    found->second.examining = false;
    found->second.deadline = now + m_limits.pauseLimit;
    return std::nullopt;
}

std::optional<FlowTable::Release> FlowTable::resume(std::uint64_t flowIdentifier, Verdict verdict,
                                                    TimePoint now) {
    std::lock_guard lock(m_mutex);
    auto found = m_held.find(flowIdentifier);
    if (found == m_held.end()) {
        return std::nullopt;
    }
    if (found->second.examining) {
        if (!found->second.earlyVerdict) {
            found->second.earlyVerdict = verdict;
        }
        return std::nullopt;
    }
    return releaseLocked(flowIdentifier, verdict, now);
}

std::vector<FlowTable::Release> FlowTable::expire(TimePoint now) {
    std::lock_guard lock(m_mutex);
    std::vector<std::uint64_t> late;
    for (const auto& [identifier, held] : m_held) {
        if (!held.examining && held.deadline <= now) {
            late.push_back(identifier);
        }
    }
    std::vector<Release> releases;
    for (auto identifier : late) {
        releases.push_back(releaseLocked(identifier, Verdict::accept, now));
    }
    for (auto decision = m_decisions.begin(); decision != m_decisions.end();) {
        decision = decision->second.expiry <= now ? m_decisions.erase(decision) : ++decision;
    }
    return releases;
}

std::vector<FlowTable::Release> FlowTable::releaseAll() {
    std::lock_guard lock(m_mutex);
    std::vector<Release> releases;
    for (auto& [identifier, held] : m_held) {
        releases.push_back({identifier, std::move(held.packetIds), Verdict::accept, held.key});
    }
    m_held.clear();
    m_heldByKey.clear();
    m_decisions.clear();
    m_heldByProcess.clear();
    m_heldByUser.clear();
    return releases;
}

void FlowTable::remember(const Key& key, Verdict verdict, TimePoint now) {
    std::lock_guard lock(m_mutex);
    rememberLocked(key, verdict, now);
}

std::size_t FlowTable::heldCount() const {
    std::lock_guard lock(m_mutex);
    return m_held.size();
}

FlowTable::Release FlowTable::releaseLocked(std::uint64_t flowIdentifier, Verdict verdict,
                                            TimePoint now) {
    auto found = m_held.find(flowIdentifier);
    const Key key = found->second.key;
    Release release{flowIdentifier, std::move(found->second.packetIds), verdict, key};
    if (auto byKey = m_heldByKey.find(key);
        byKey != m_heldByKey.end() && byKey->second == flowIdentifier) {
        m_heldByKey.erase(byKey);
    }
    decrement(m_heldByProcess, found->second.origin.pid);
    decrement(m_heldByUser, found->second.origin.uid);
    m_held.erase(found);
    rememberLocked(key, verdict, now);
    return release;
}

void FlowTable::rememberLocked(const Key& key, Verdict verdict, TimePoint now) {
    if (key.instance == 0) {
        return;  // another connection could reuse these ports: nothing to tell them apart by
    }
    if (m_decisions.size() >= m_limits.decisions) {
        for (auto decision = m_decisions.begin(); decision != m_decisions.end();) {
            decision = decision->second.expiry <= now ? m_decisions.erase(decision) : ++decision;
        }
        if (m_decisions.size() >= m_limits.decisions) {
            // Forgetting early only means asking again about a connection seen moments ago.
            m_decisions.clear();
        }
    }
    m_decisions.insert_or_assign(key, Decision{verdict, now + m_limits.decisionMemory});
}

}  // namespace tarnwick
