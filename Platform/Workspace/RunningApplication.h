#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tarnwick {

// One application process as the workspace sees it. The bundle identifier is the enclosing
// "X.app" bundle's CFBundleIdentifier, or else the desktop-entry identifier the process was
// matched to ("org.example.Editor" for org.example.Editor.desktop).
struct RunningApplication {
    pid_t processIdentifier = 0;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    // The "X.app" folder, for a process that runs from a bundle.
    std::optional<std::filesystem::path> bundleURL;
    std::filesystem::path executableURL;
};

}  // namespace tarnwick
