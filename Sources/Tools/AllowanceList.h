#pragma once

#include "Foundation/Result.h"
#include "HitListEntry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The user's standing answers about connections into target countries: six lists, stored as one
// document under the settings key "allowanceList". The member names are the stored ones, odd
// spellings included ("hitsBlackList" but "hitsWhitelist"). Lists keep their order and repeats.
struct AllowanceList {
    enum class ListType { allow, deny };

    std::vector<std::string> bundleIDWhitelist;
    std::vector<std::string> bundleIDBlacklist;
    std::vector<std::string> hostWhitelist;
    std::vector<std::string> hostBlacklist;
    std::vector<HitListEntry> hitsBlackList;
    std::vector<HitListEntry> hitsWhitelist;

    bool operator==(const AllowanceList& other) const = default;

    // Nothing when a text is not UTF-8.
    Result<std::string, std::string> encode() const;
    // Throws DecodingError; all six lists are required.
    static AllowanceList decode(std::string_view bytes);

    // The stored lists; nothing when none are stored or they do not decode (an undecodable
    // document is kept aside before anything overwrites it).
    static std::optional<AllowanceList> restoreFromSettings();
    // Stores the lists; "Unable to encode deny list" goes to the system log when they cannot be
    // encoded, and the stored document stays as it was. False when nothing was stored.
    bool saveToSettings() const;
};

}  // namespace tarnwick
