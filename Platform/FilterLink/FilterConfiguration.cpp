#include "FilterConfiguration.h"

#include "FilterLinkProtocol.h"

namespace tarnwick {

Value FilterConfiguration::toValue() const {
    Value::Dictionary dictionary{{filterlink::kConfigurationEnabled, Value(enabled)}};
    if (localizedDescription) {
        dictionary.emplace(filterlink::kConfigurationDescription, Value(*localizedDescription));
    }
    if (providerConfiguration) {
        dictionary.emplace(filterlink::kConfigurationProvider,
                           Value(Value::Dictionary{{filterlink::kProviderFilterSockets,
                                                    Value(providerConfiguration->filterSockets)},
                                                   {filterlink::kProviderFilterPackets,
                                                    Value(providerConfiguration->filterPackets)}}));
    }
    return Value(std::move(dictionary));
}

std::optional<FilterConfiguration> FilterConfiguration::fromValue(const Value& value) {
    if (value.asDictionary() == nullptr) {
        return std::nullopt;
    }
    FilterConfiguration configuration;
    const Value* enabled = value.find(filterlink::kConfigurationEnabled);
    if (enabled == nullptr || !enabled->asBool()) {
        return std::nullopt;
    }
    configuration.enabled = *enabled->asBool();
    if (const Value* description = value.find(filterlink::kConfigurationDescription)) {
        if (!description->asString()) {
            return std::nullopt;
        }
        configuration.localizedDescription = description->asString();
    }
    if (const Value* provider = value.find(filterlink::kConfigurationProvider)) {
        if (provider->asDictionary() == nullptr) {
            return std::nullopt;
        }
        ProviderConfiguration providerConfiguration;
        for (auto [key, field] :
             {std::pair{filterlink::kProviderFilterSockets, &providerConfiguration.filterSockets},
              std::pair{filterlink::kProviderFilterPackets,
                        &providerConfiguration.filterPackets}}) {
            if (const Value* flag = provider->find(key)) {
                if (!flag->asBool()) {
                    return std::nullopt;
                }
                *field = *flag->asBool();
            }
        }
        configuration.providerConfiguration = providerConfiguration;
    }
    return configuration;
}

}  // namespace tarnwick
