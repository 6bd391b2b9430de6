#include "WorkspaceUtilities.h"

#include <algorithm>
#include <cctype>

namespace tarnwick {

std::optional<RunningApplication> runningApplication(
    const Workspace& workspace, const std::optional<std::string>& bundleIdentifier) {
    if (!bundleIdentifier) {
        return std::nullopt;
    }
    std::string identifier = *bundleIdentifier;
    std::string lowered = identifier;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char character) {
        return static_cast<char>(std::tolower(character));
    });
    if (lowered == "com.apple.webkit.networking") {
        identifier = "com.apple.Safari";
    }
    for (auto& application : workspace.runningApplications()) {
        if (application.bundleIdentifier && *application.bundleIdentifier == identifier) {
            return std::move(application);
        }
    }
    return std::nullopt;
}

std::string applicationName(const Workspace& workspace, const std::string& bundleIdentifier) {
    const auto application = runningApplication(workspace, bundleIdentifier);
    if (application && application->localizedName && !application->localizedName->empty()) {
        return *application->localizedName;
    }
    return bundleIdentifier;
}

}  // namespace tarnwick
