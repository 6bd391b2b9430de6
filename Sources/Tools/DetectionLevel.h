#pragma once

#include "RestrictionPreference.h"
#include "UndesirableCountriesManagerType.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace tarnwick {

// The five-step scale the settings offer over the selection of rules: every selection maps to a
// level, and a level stands for a preset. The raw values are the titles shown.
enum class DetectionLevel {
    minimum,
    higherThanMinimum,
    recommended,
    higherThanAverage,
    maximum,
};

inline constexpr std::array<DetectionLevel, 5> allDetectionLevels = {
    DetectionLevel::minimum, DetectionLevel::higherThanMinimum, DetectionLevel::recommended,
    DetectionLevel::higherThanAverage, DetectionLevel::maximum};

std::string_view rawValue(DetectionLevel level);
// Exactly the five titles.
std::optional<DetectionLevel> detectionLevelFromRawValue(std::string_view rawValue);

// The level of a selection, compared as sets. The full preset holds the social-network rule
// only while "RU" is a target country; otherwise that rule is left out of the comparison.
DetectionLevel detectionLevel(const std::vector<RestrictionPreference>& restrictions,
                              const UndesirableCountriesManagerType& targetCountries);
DetectionLevel detectionLevel(const std::vector<RestrictionPreference>& restrictions);

// The preset a level stands for.
std::vector<RestrictionPreference> restrictions(
    DetectionLevel level, const UndesirableCountriesManagerType& targetCountries);
std::vector<RestrictionPreference> restrictions(DetectionLevel level);

}  // namespace tarnwick
