#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tarnwick {

// The tabs of the settings screen, titled by their raw values.
enum class SettingsTab {
    restrictions,
    targetCoutries,
    connectionsList,
};

inline constexpr std::array<SettingsTab, 3> allSettingsTabs = {
    SettingsTab::restrictions, SettingsTab::targetCoutries, SettingsTab::connectionsList};

std::string_view rawValue(SettingsTab tab);
// Exactly the three titles, letter case included.
std::optional<SettingsTab> settingsTabFromRawValue(std::string_view rawValue);

}  // namespace tarnwick
