#pragma once

#include "Foundation/Value.h"

#include <optional>
#include <string>

namespace tarnwick {

// The content-filter configuration: whether the filter is on, what it filters and how the system
// names it. Kept by the extension host, read and written by the application's filter manager.
struct FilterConfiguration {
    struct ProviderConfiguration {
        bool filterSockets = false;
        bool filterPackets = false;
        bool operator==(const ProviderConfiguration&) const = default;
    };

    bool enabled = false;
    std::optional<std::string> localizedDescription;
    std::optional<ProviderConfiguration> providerConfiguration;

    bool operator==(const FilterConfiguration&) const = default;

    Value toValue() const;
    // Nothing when the value is not a configuration dictionary.
    static std::optional<FilterConfiguration> fromValue(const Value& value);
};

}  // namespace tarnwick
