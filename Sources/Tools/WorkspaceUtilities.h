#pragma once

#include "Workspace/Workspace.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace tarnwick {

// The first running application, in the workspace's order, whose bundle identifier is exactly
// the given one. The web-content networking process stands for the browser: its identifier, in
// any letter case, is looked up as "com.apple.Safari".
std::optional<RunningApplication> runningApplication(
    const Workspace& workspace, const std::optional<std::string>& bundleIdentifier);

// What a list row calls an application: the localized name of its running application, or the
// bundle identifier itself when none runs or it has no name.
std::string applicationName(const Workspace& workspace, const std::string& bundleIdentifier);

// The same names for many identifiers from one look at the running applications, for callers
// that name a whole list at once.
class RunningApplicationNames {
public:
    explicit RunningApplicationNames(const Workspace& workspace);

    std::string applicationName(const std::string& bundleIdentifier) const;

private:
    std::unordered_map<std::string, std::string> m_names;
};

}  // namespace tarnwick
