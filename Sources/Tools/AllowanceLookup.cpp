#include "AllowanceLookup.h"

#include <algorithm>
#include <functional>

namespace tarnwick {

namespace {

std::uint64_t hashOf(const std::string& text) {
    return std::hash<std::string>{}(text);
}

template <typename Slot>
bool lessByHash(const Slot& slot, std::uint64_t hash) {
    return slot.hash < hash;
}

}  // namespace

AllowanceLookup::AllowanceLookup(const std::vector<std::string>& bundleIds,
                                 const std::vector<std::string>& hostNames,
                                 const std::vector<HitListEntry>& hits)
    : m_bundleIds(&bundleIds)
    , m_hostNames(&hostNames)
    , m_hits(&hits)
    , m_bundleIdSlots(index(bundleIds))
    , m_hostNameSlots(index(hostNames)) {
    m_hitSlots.reserve(hits.size());
    for (std::size_t at = 0; at < hits.size(); ++at) {
        m_hitSlots.push_back(
            {hitHash(hits[at].processId, hits[at].ipAddress), static_cast<std::uint32_t>(at)});
    }
    std::sort(m_hitSlots.begin(), m_hitSlots.end(),
              [](const Slot& a, const Slot& b) { return a.hash < b.hash; });
}

std::vector<AllowanceLookup::Slot> AllowanceLookup::index(const std::vector<std::string>& list) {
    std::vector<Slot> slots;
    slots.reserve(list.size());
    for (std::size_t at = 0; at < list.size(); ++at) {
        slots.push_back({hashOf(list[at]), static_cast<std::uint32_t>(at)});
    }
    std::sort(slots.begin(), slots.end(),
              [](const Slot& a, const Slot& b) { return a.hash < b.hash; });
    return slots;
}

void AllowanceLookup::insert(std::vector<Slot>& slots, Slot slot) {
    slots.insert(std::upper_bound(slots.begin(), slots.end(), slot,
                                  [](const Slot& a, const Slot& b) { return a.hash < b.hash; }),
                 slot);
}

void AllowanceLookup::bundleIdAppended() {
    if (m_bundleIds && !m_bundleIds->empty()) {
        insert(m_bundleIdSlots,
               {hashOf(m_bundleIds->back()), static_cast<std::uint32_t>(m_bundleIds->size() - 1)});
    }
}

void AllowanceLookup::hostNameAppended() {
    if (m_hostNames && !m_hostNames->empty()) {
        insert(m_hostNameSlots,
               {hashOf(m_hostNames->back()), static_cast<std::uint32_t>(m_hostNames->size() - 1)});
    }
}

void AllowanceLookup::hitAppended() {
    if (m_hits && !m_hits->empty()) {
        insert(m_hitSlots, {hitHash(m_hits->back().processId, m_hits->back().ipAddress),
                            static_cast<std::uint32_t>(m_hits->size() - 1)});
    }
}

bool AllowanceLookup::contains(const std::vector<Slot>& slots, const std::vector<std::string>* list,
                               const std::string& text) {
    if (list == nullptr) {
        return false;
    }
    const std::uint64_t hash = hashOf(text);
    // Equal hashes are only candidates: the entry itself decides.
    for (auto slot = std::lower_bound(slots.begin(), slots.end(), hash, lessByHash<Slot>);
         slot != slots.end() && slot->hash == hash; ++slot) {
        if (slot->index < list->size() && (*list)[slot->index] == text) {
            return true;
        }
    }
    return false;
}

bool AllowanceLookup::containsBundleId(const std::string& bundleId) const {
    return contains(m_bundleIdSlots, m_bundleIds, bundleId);
}

bool AllowanceLookup::containsHostName(const std::string& hostName) const {
    return contains(m_hostNameSlots, m_hostNames, hostName);
}

bool AllowanceLookup::containsHit(const std::string& bundleId, const std::string& address) const {
    if (m_hits == nullptr) {
        return false;
    }
    const std::uint64_t hash = hitHash(bundleId, address);
    for (auto slot = std::lower_bound(m_hitSlots.begin(), m_hitSlots.end(), hash, lessByHash<Slot>);
         slot != m_hitSlots.end() && slot->hash == hash; ++slot) {
        if (slot->index < m_hits->size() && (*m_hits)[slot->index].processId == bundleId &&
            (*m_hits)[slot->index].ipAddress == address) {
            return true;
        }
    }
    return false;
}

std::uint64_t AllowanceLookup::hitHash(const std::string& bundleId, const std::string& address) {
    return hashOf(bundleId) * 1099511628211ULL ^ hashOf(address);
}

}  // namespace tarnwick
