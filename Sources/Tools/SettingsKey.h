#pragma once

#include "Foundation/Value.h"

#include <optional>
#include <string_view>

namespace tarnwick {

// Every persistent setting of the application, under the key of the same name.
enum class SettingsKey {
    allowanceList,
    didPresentIOSPromotion,
    didCompleteOnboarding,
    isSystemExtensionExplained,
    launchesCount,
    undesirableCountries,
    isFixingExtension,
    isUserLocationAllowed,
    restrictions,
};

std::string_view keyString(SettingsKey key);

// The one getter and the one setter of the settings, over the application's standard user
// defaults. Readers cast what they get and treat a value of another type as absent.
class Settings {
public:
    Settings() = delete;

    static std::optional<Value> value(SettingsKey key);
    // No value removes the key.
    static void set(std::optional<Value> value, SettingsKey key);
};

}  // namespace tarnwick
