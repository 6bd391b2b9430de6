#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The user's folders, after the XDG base-directory and user-dirs conventions: application support
// is $XDG_DATA_HOME (~/.local/share), caches $XDG_CACHE_HOME (~/.cache), settings
// $XDG_CONFIG_HOME (~/.config). A folder that cannot be worked out (no home) is absent.
class StandardDirectories {
public:
    using EnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;

    // Reads the process environment.
    StandardDirectories();
    explicit StandardDirectories(EnvironmentLookup environment);

    std::optional<std::filesystem::path> home() const;
    std::vector<std::filesystem::path> applicationSupportDirectories() const;
    std::vector<std::filesystem::path> cachesDirectories() const;
    std::optional<std::filesystem::path> configDirectory() const;
    // XDG_DOWNLOAD_DIR of user-dirs.dirs, else ~/Downloads.
    std::optional<std::filesystem::path> downloadsDirectory() const;

private:
    std::optional<std::filesystem::path> baseDirectory(const std::string& variable,
                                                       const std::string& fallback) const;

    EnvironmentLookup m_environment;
};

}  // namespace tarnwick
