#pragma once

#include "Foundation/Result.h"

#include <filesystem>
#include <string>

namespace tarnwick {

// Where named services live: one Unix domain socket per service, named after it, in a folder that
// only root can write to.
std::filesystem::path xpcServicesDirectory();
std::filesystem::path xpcSocketPath(const std::string& serviceName);

// Creates the services folder (root-owned, 0755) when it is missing. The reason when it cannot be
// made or is not safe to use (not a folder, or writable by someone other than root).
Result<void, std::string> prepareXPCServicesDirectory(const std::filesystem::path& directory);

}  // namespace tarnwick
