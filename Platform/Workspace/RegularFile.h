#pragma once

#include "Foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarnwick {

// Reads a file that something outside our control names (a bundle's icon, a desktop entry, the
// image an entry points at). Opened without blocking and without taking a controlling terminal,
// and read only when it is a regular file no larger than `maximumBytes`, so a FIFO, a device or
// a file that keeps growing cannot hold up or swamp the reader.
Result<std::vector<std::uint8_t>, std::string> readRegularFile(const std::filesystem::path& path,
                                                               std::size_t maximumBytes);

}  // namespace tarnwick
