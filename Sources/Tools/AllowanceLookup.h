#pragma once

#include "HitListEntry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick {

// One side of the allow/deny lists indexed for the flow decision: each question is a binary
// search over the entries' hashes, confirmed against the entry itself, so a decision costs about
// the same with ten entries or a hundred thousand, and the index adds 16 bytes per entry rather
// than a second copy of every string.
//
// It reads the lists it was built from: they must outlive it, and it must be built afresh after
// every change to them but one: an entry appended at a list's end is told with `appended`, which
// costs one insertion instead of a rebuild.
class AllowanceLookup {
public:
    AllowanceLookup() = default;
    AllowanceLookup(const std::vector<std::string>& bundleIds,
                    const std::vector<std::string>& hostNames,
                    const std::vector<HitListEntry>& hits);

    void bundleIdAppended();
    void hostNameAppended();
    void hitAppended();

    // Exact, case-sensitive matches, as the lists store them.
    bool containsBundleId(const std::string& bundleId) const;
    bool containsHostName(const std::string& hostName) const;
    bool containsHit(const std::string& bundleId, const std::string& address) const;

private:
    struct Slot {
        std::uint64_t hash;
        std::uint32_t index;
    };

    static std::vector<Slot> index(const std::vector<std::string>& list);
    static void insert(std::vector<Slot>& slots, Slot slot);
    static bool contains(const std::vector<Slot>& slots, const std::vector<std::string>* list,
                         const std::string& text);
    static std::uint64_t hitHash(const std::string& bundleId, const std::string& address);

    const std::vector<std::string>* m_bundleIds = nullptr;
    const std::vector<std::string>* m_hostNames = nullptr;
    const std::vector<HitListEntry>* m_hits = nullptr;
    std::vector<Slot> m_bundleIdSlots;
    std::vector<Slot> m_hostNameSlots;
    std::vector<Slot> m_hitSlots;
};

}  // namespace tarnwick
