#include "SettingsTab.h"

namespace tarnwick {

std::string_view rawValue(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::restrictions:
            return "Restrictions";
        case SettingsTab::targetCoutries:
            return "Target Countries";
        case SettingsTab::connectionsList:
            return "Connections";
    }
    return {};
}

std::optional<SettingsTab> settingsTabFromRawValue(std::string_view text) {
    for (auto tab : allSettingsTabs) {
        if (rawValue(tab) == text) {
            return tab;
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
