#include "AllowanceLookup.h"

namespace tarnwick {

AllowanceLookup::AllowanceLookup(const std::vector<std::string>& bundleIds,
                                 const std::vector<std::string>& hostNames,
                                 const std::vector<HitListEntry>& hits)
    : m_bundleIds(bundleIds.begin(), bundleIds.end())
    , m_hostNames(hostNames.begin(), hostNames.end()) {
    m_hits.reserve(hits.size());
    for (const auto& hit : hits) {
        m_hits.insert(hitKey(hit.processId, hit.ipAddress));
    }
}

bool AllowanceLookup::containsBundleId(const std::string& bundleId) const {
    return m_bundleIds.count(bundleId) != 0;
}

bool AllowanceLookup::containsHostName(const std::string& hostName) const {
    return m_hostNames.count(hostName) != 0;
}

bool AllowanceLookup::containsHit(const std::string& bundleId, const std::string& address) const {
    return m_hits.count(hitKey(bundleId, address)) != 0;
}

std::string AllowanceLookup::hitKey(const std::string& bundleId, const std::string& address) {
    // The length prefix keeps ("a.b", "c") and ("a", ".bc")-like pairs apart whatever they hold.
    return std::to_string(bundleId.size()) + ':' + bundleId + address;
}

}  // namespace tarnwick
