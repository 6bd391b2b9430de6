#include "DetectionLevel.h"

#include "Foundation/CaseFromRawValue.h"
#include "UndesirableCountriesManager.h"

#include <algorithm>
#include <unordered_set>

namespace tarnwick {

namespace {

using RuleSet = std::unordered_set<RestrictionPreference>;

struct Presets {
    std::vector<RestrictionPreference> recommended =
        RestrictionPreference::recommendedRestrictions();
    std::vector<RestrictionPreference> fullWithSocialNetwork =
        RestrictionPreference::additionalRestrictions(true);
    std::vector<RestrictionPreference> fullWithoutSocialNetwork =
        RestrictionPreference::additionalRestrictions(false);
    RuleSet recommendedSet{recommended.begin(), recommended.end()};
    RuleSet fullWithSocialNetworkSet{fullWithSocialNetwork.begin(), fullWithSocialNetwork.end()};
    RuleSet fullWithoutSocialNetworkSet{fullWithoutSocialNetwork.begin(),
                                        fullWithoutSocialNetwork.end()};
};

const Presets& presets() {
    static const auto* built = new Presets;
    return *built;
}

bool targetsRussia(const UndesirableCountriesManagerType& targetCountries) {
    const auto countries = targetCountries.currentUndesirableCountries();
    return std::find(countries.begin(), countries.end(), Country::russia()) != countries.end();
}

}  // namespace

std::string_view rawValue(DetectionLevel level) {
    switch (level) {
        case DetectionLevel::minimum:
            return "Minimum \U0001F642";
        case DetectionLevel::higherThanMinimum:
            return "Good \u263A\uFE0F";
        case DetectionLevel::recommended:
            return "Recommended \U0001F9D0";
        case DetectionLevel::higherThanAverage:
            return "Great \U0001F604";
        case DetectionLevel::maximum:
            return "Maximum \U0001F60E";
    }
    return {};
}

std::optional<DetectionLevel> detectionLevelFromRawValue(std::string_view text) {
    return caseFromRawValue(allDetectionLevels, text);
}

DetectionLevel detectionLevel(const std::vector<RestrictionPreference>& selection,
                              const UndesirableCountriesManagerType& targetCountries) {
    if (selection.empty()) {
        return DetectionLevel::minimum;
    }
    const auto& built = presets();
    const RuleSet selected(selection.begin(), selection.end());
    if (selected == built.recommendedSet) {
        return DetectionLevel::recommended;
    }
    if (targetsRussia(targetCountries)) {
        if (selected == built.fullWithSocialNetworkSet) {
            return DetectionLevel::maximum;
        }
    } else {
        RuleSet remaining = selected;
        std::erase_if(remaining, [](const RestrictionPreference& rule) {
            return rule.reason().reasonCase() == DetectionReason::Case::socialNetworkDomain;
        });
        if (remaining == built.fullWithoutSocialNetworkSet) {
            return DetectionLevel::maximum;
        }
    }
    return selection.size() > built.recommended.size() ? DetectionLevel::higherThanAverage
                                                       : DetectionLevel::higherThanMinimum;
}

DetectionLevel detectionLevel(const std::vector<RestrictionPreference>& selection) {
    return detectionLevel(selection, UndesirableCountriesManager::shared());
}

std::vector<RestrictionPreference> restrictions(
    DetectionLevel level, const UndesirableCountriesManagerType& targetCountries) {
    const auto& built = presets();
    switch (level) {
        case DetectionLevel::minimum:
            return {};
        case DetectionLevel::higherThanMinimum:
        case DetectionLevel::recommended:
        case DetectionLevel::higherThanAverage:
            return built.recommended;
        case DetectionLevel::maximum:
            return targetsRussia(targetCountries) ? built.fullWithSocialNetwork
                                                  : built.fullWithoutSocialNetwork;
    }
    return {};
}

std::vector<RestrictionPreference> restrictions(DetectionLevel level) {
    return restrictions(level, UndesirableCountriesManager::shared());
}

}  // namespace tarnwick
