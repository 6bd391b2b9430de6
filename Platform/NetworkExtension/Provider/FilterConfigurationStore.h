#pragma once

#include "FilterLink/FilterConfiguration.h"
#include "Foundation/Result.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tarnwick {

// The filter configuration on disk, one small JSON file in the extension's state folder, written
// atomically. A file that does not parse is kept aside and reads as the default (filter off).
// Only root uses it: the file is 0600, and the folders from `stateFolder` down to it are root's,
// 0755 (see prepareServiceFolder).
class FilterConfigurationStore {
public:
    explicit FilterConfigurationStore(std::filesystem::path file,
                                      std::filesystem::path stateFolder = {});

    // "/var/lib/tarnwick"
    static std::filesystem::path defaultStateFolder();
    // "<default state folder>/<extension identifier>/filter-configuration.json"
    static std::filesystem::path defaultFile(const std::string& extensionIdentifier);

    FilterConfiguration load() const;
    // The reason when it could not be written.
    Result<void, std::string> save(const FilterConfiguration& configuration) const;

    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
    std::filesystem::path m_stateFolder;
};

}  // namespace tarnwick
