#include "FilterConfigurationStore.h"

#include "FilterLink/FilterLinkProtocol.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/ServiceFolder.h"
#include "OSLog/OSLog.h"

#include <nlohmann/json.hpp>

namespace tarnwick {

namespace {

using Json = nlohmann::json;

const OSLog& storeLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "filter");
    return *log;
}

Json toJson(const FilterConfiguration& configuration) {
    Json json = {{filterlink::kConfigurationEnabled, configuration.enabled}};
    if (configuration.localizedDescription) {
        json[filterlink::kConfigurationDescription] = *configuration.localizedDescription;
    }
    if (configuration.providerConfiguration) {
        json[filterlink::kConfigurationProvider] = {
            {filterlink::kProviderFilterSockets,
             configuration.providerConfiguration->filterSockets},
            {filterlink::kProviderFilterPackets,
             configuration.providerConfiguration->filterPackets}};
    }
    return json;
}

std::optional<FilterConfiguration> fromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    Value::Dictionary dictionary;
    for (const auto& [key, value] : json.items()) {
        if (value.is_boolean()) {
            dictionary.emplace(key, Value(value.get<bool>()));
        } else if (value.is_string()) {
            dictionary.emplace(key, Value(value.get<std::string>()));
        } else if (value.is_object()) {
            Value::Dictionary inner;
            for (const auto& [innerKey, innerValue] : value.items()) {
                if (!innerValue.is_boolean()) {
                    return std::nullopt;
                }
                inner.emplace(innerKey, Value(innerValue.get<bool>()));
            }
            dictionary.emplace(key, Value(std::move(inner)));
        } else {
            return std::nullopt;
        }
    }
    return FilterConfiguration::fromValue(Value(std::move(dictionary)));
}

}  // namespace

FilterConfigurationStore::FilterConfigurationStore(std::filesystem::path file,
                                                   std::filesystem::path stateFolder)
    : m_file(std::move(file)), m_stateFolder(std::move(stateFolder)) {}

std::filesystem::path FilterConfigurationStore::defaultStateFolder() {
    return "/var/lib/tarnwick";
}

std::filesystem::path FilterConfigurationStore::defaultFile(
    const std::string& extensionIdentifier) {
    return defaultStateFolder() / extensionIdentifier / "filter-configuration.json";
}

FilterConfiguration FilterConfigurationStore::load() const {
    AtomicFile::removeStaleTemporaryFiles(m_file);
    const auto bytes = AtomicFile::read(m_file);
    if (!bytes) {
        return {};
    }
    const Json json = Json::parse(*bytes, nullptr, false);
    if (auto configuration = json.is_discarded() ? std::nullopt : fromJson(json)) {
        return *configuration;
    }
    const auto side = AtomicFile::keepAside(m_file, *bytes);
    osLog("The filter configuration " + m_file.string() + " is unreadable; it was kept as " +
              (side ? side->string() : "(nothing: " + side.error().message + ")") +
              " and the filter is off",
          OSLogType::error, storeLog());
    return {};
}

Result<void, std::string> FilterConfigurationStore::save(
    const FilterConfiguration& configuration) const {
    if (!m_stateFolder.empty()) {
        auto folder = m_stateFolder;
        for (const auto& step : m_file.parent_path().lexically_relative(m_stateFolder)) {
            if (step == "..") {
                return Failure{m_file.string() + " is not in " + m_stateFolder.string()};
            }
            if (auto prepared = prepareServiceFolder(folder); !prepared) {
                return prepared;
            }
            folder /= step;
        }
        if (auto prepared = prepareServiceFolder(folder.lexically_normal()); !prepared) {
            return prepared;
        }
    }
    if (auto written = AtomicFile::write(m_file, toJson(configuration).dump(2) + "\n", 0600);
        !written) {
        return Failure{written.error().message};
    }
    return {};
}

}  // namespace tarnwick
