#pragma once

#include "Foundation/Result.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace tarnwick {

// The bytes of a data file the map reads: opened without blocking and without a controlling
// terminal, a regular file only, at most `maximumBytes` long (also when it grows while read).
Result<std::string, std::string> readRegularFile(const std::filesystem::path& path,
                                                 std::size_t maximumBytes);

}  // namespace tarnwick
