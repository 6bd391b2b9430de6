#pragma once

#include "HitListEntry.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace tarnwick {

// One side of the allow/deny lists indexed for the flow decision: each question is a hash
// look-up, so a decision costs the same with ten entries or a hundred thousand. Built from the
// lists as stored; rebuilt whenever they change.
class AllowanceLookup {
public:
    AllowanceLookup() = default;
    AllowanceLookup(const std::vector<std::string>& bundleIds,
                    const std::vector<std::string>& hostNames,
                    const std::vector<HitListEntry>& hits);

    // Exact, case-sensitive matches, as the lists store them.
    bool containsBundleId(const std::string& bundleId) const;
    bool containsHostName(const std::string& hostName) const;
    bool containsHit(const std::string& bundleId, const std::string& address) const;

private:
    static std::string hitKey(const std::string& bundleId, const std::string& address);

    std::unordered_set<std::string> m_bundleIds;
    std::unordered_set<std::string> m_hostNames;
    std::unordered_set<std::string> m_hits;
};

}  // namespace tarnwick
