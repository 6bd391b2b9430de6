#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace tarnwick {

// Where the application counts as installed, the one rule that the mover and the Connections
// Monitor share: under an Applications folder, or under a folder where the system's package
// manager installs it; or anywhere at all when there is no Applications folder to move it to.
// So the screen asks the user to move the application exactly when the mover would move it.
struct InstallLocations {
    // The user's, then the system's.
    std::vector<std::filesystem::path> applicationDirectories;
    // A package's files are the package manager's: a copy there stays where it is.
    std::vector<std::filesystem::path> packageDirectories;

    // ~/Applications (with a home) and /Applications; the package folders of /usr and /usr/local.
    static InstallLocations standard();

    // Inside one of the folders, component by component, or inside any folder named
    // "Applications".
    bool isInPlace(const std::filesystem::path& bundle) const;
    // The existing application directory with the most entries; ties keep the earlier one.
    std::optional<std::filesystem::path> applicationsFolder() const;
    bool isInstalled(const std::filesystem::path& bundle) const {
        return isInPlace(bundle) || !applicationsFolder();
    }
};

}  // namespace tarnwick
