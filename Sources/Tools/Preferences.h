#pragma once

#include "Foundation/Result.h"
#include "RestrictionPreference.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The user's selection of detection rules, kept in the settings under "restrictions" as
// {"restrictions":[<rule>, ...]}. Nothing stored means the recommended preset; a stored
// document that does not decode means the required rules (and is kept aside, not lost).
// The analysis reads the selection from its own queue while the settings replace it.
class Preferences {
public:
    struct RestrictionsData {
        std::vector<RestrictionPreference> restrictions;

        // Nothing when a text is not UTF-8.
        Result<std::string, std::string> encode() const;
        // Throws DecodingError; one bad rule fails the whole document.
        static RestrictionsData decode(std::string_view bytes);
    };

    // Loads the selection from the standard settings. The process uses `shared()`; tests make
    // their own.
    Preferences();
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    static Preferences& shared();

    // The selection as loaded, then as last saved.
    std::optional<std::vector<RestrictionPreference>> restrictions() const;

    // The first document that decoded is kept and returned from then on.
    std::vector<RestrictionPreference> loadRestrictions();
    void saveRestrictions(const std::vector<RestrictionPreference>& restrictions);

private:
    mutable std::mutex m_mutex;
    std::optional<std::vector<RestrictionPreference>> m_restrictions;
    std::optional<RestrictionsData> m_loadedRestrictionsData;
};

}  // namespace tarnwick
