#pragma once

#include "FilterLink/FilterConfiguration.h"
#include "Foundation/Result.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tarnwick {

// The filter configuration on disk, one small JSON file in the extension's state folder, written
// atomically. A file that does not parse is kept aside and reads as the default (filter off).
class FilterConfigurationStore {
public:
    explicit FilterConfigurationStore(std::filesystem::path file);

    // "/var/lib/tarnwick/<extension identifier>/filter-configuration.json"
    static std::filesystem::path defaultFile(const std::string& extensionIdentifier);

    FilterConfiguration load() const;
    // The reason when it could not be written.
    Result<void, std::string> save(const FilterConfiguration& configuration) const;

    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
};

}  // namespace tarnwick
