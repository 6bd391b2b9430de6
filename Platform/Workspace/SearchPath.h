#pragma once

#include <filesystem>
#include <vector>

namespace tarnwick {

// The folders of a colon-separated list from the environment (PATH, XDG_DATA_DIRS), in order and
// normalised. A relative entry would mean whatever the working folder is, so it is left out; an
// unset list is empty.
std::vector<std::filesystem::path> absoluteFolders(const char* list);

}  // namespace tarnwick
