#pragma once

#include <filesystem>
#include <string>

namespace tarnwick {

// Where an application came from, which decides how it is removed: a bundle folder, a Flatpak
// (user or system installation), a Snap, a Debian package, an AppImage file, or a desktop entry
// that nothing installed (its own user's), which is not ours to remove.
struct ApplicationOrigin {
    enum class Kind { bundle, flatpak, snap, debianPackage, appImage, desktopEntry };

    Kind kind = Kind::bundle;
    // The Flatpak application ID, the Snap's name or the Debian package; empty otherwise.
    std::string name;
    // A Flatpak of the user's own installation rather than the system's.
    bool userInstallation = false;
    // The bundle folder, the AppImage or the desktop entry file.
    std::filesystem::path file;

    bool operator==(const ApplicationOrigin&) const = default;
};

}  // namespace tarnwick
