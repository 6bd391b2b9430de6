#include "SettingsKey.h"

#include "Foundation/UserDefaults.h"

#include <string>

namespace tarnwick {

std::string_view keyString(SettingsKey key) {
    switch (key) {
        case SettingsKey::allowanceList:
            return "allowanceList";
        case SettingsKey::didPresentIOSPromotion:
            return "didPresentIOSPromotion";
        case SettingsKey::didCompleteOnboarding:
            return "didCompleteOnboarding";
        case SettingsKey::isSystemExtensionExplained:
            return "isSystemExtensionExplained";
        case SettingsKey::launchesCount:
            return "launchesCount";
        case SettingsKey::undesirableCountries:
            return "undesirableCountries";
        case SettingsKey::isFixingExtension:
            return "isFixingExtension";
        case SettingsKey::isUserLocationAllowed:
            return "isUserLocationAllowed";
        case SettingsKey::restrictions:
            return "restrictions";
    }
    return {};
}

std::optional<Value> Settings::value(SettingsKey key) {
    return UserDefaults::standard().object(std::string(keyString(key)));
}

void Settings::set(std::optional<Value> value, SettingsKey key) {
    UserDefaults::standard().set(std::string(keyString(key)), std::move(value));
}

}  // namespace tarnwick
