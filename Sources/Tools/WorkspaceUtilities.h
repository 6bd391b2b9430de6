#pragma once

#include "Workspace/Workspace.h"

#include <optional>
#include <string>

namespace tarnwick {

// The first running application, in the workspace's order, whose bundle identifier is exactly
// the given one. The web-content networking process stands for the browser: its identifier, in
// any letter case, is looked up as "com.apple.Safari".
std::optional<RunningApplication> runningApplication(
    const Workspace& workspace, const std::optional<std::string>& bundleIdentifier);

// What a list row calls an application: the localized name of its running application, or the
// bundle identifier itself when none runs or it has no name.
std::string applicationName(const Workspace& workspace, const std::string& bundleIdentifier);

}  // namespace tarnwick
