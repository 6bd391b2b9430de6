#pragma once

#include "Foundation/Result.h"

#include <filesystem>
#include <string>

namespace tarnwick {

// A folder of a service's own files (sockets, locks, state): made 0755 when missing, reached
// without following a link as its last step, owned by this process's user and writable by nobody
// else. One that a umask left less than 0755 is opened up, so the files in it decide alone who
// may use them. The reason when it cannot be made or is not safe to use.
[[nodiscard]] Result<void, std::string> prepareServiceFolder(const std::filesystem::path& folder);

}  // namespace tarnwick
