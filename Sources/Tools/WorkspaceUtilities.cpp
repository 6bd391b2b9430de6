#include "WorkspaceUtilities.h"

#include "Foundation/Text.h"

namespace tarnwick {

namespace {

std::string lookedUpIdentifier(const std::string& bundleIdentifier) {
    return asciiLowercased(bundleIdentifier) == "com.apple.webkit.networking" ? "com.apple.Safari"
                                                                              : bundleIdentifier;
}

}  // namespace

std::optional<RunningApplication> runningApplication(
    const Workspace& workspace, const std::optional<std::string>& bundleIdentifier) {
    if (!bundleIdentifier) {
        return std::nullopt;
    }
    const std::string identifier = lookedUpIdentifier(*bundleIdentifier);
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

RunningApplicationNames::RunningApplicationNames(const Workspace& workspace) {
    for (const auto& application : workspace.runningApplications()) {
        if (application.bundleIdentifier) {
            // The first application with an identifier names it, as a single look-up finds it.
            const auto [slot, inserted] = m_names.try_emplace(*application.bundleIdentifier);
            if (inserted && application.localizedName) {
                slot->second = *application.localizedName;
            }
        }
    }
}

std::string RunningApplicationNames::applicationName(const std::string& bundleIdentifier) const {
    const auto found = m_names.find(lookedUpIdentifier(bundleIdentifier));
    return found == m_names.end() || found->second.empty() ? bundleIdentifier : found->second;
}

}  // namespace tarnwick
