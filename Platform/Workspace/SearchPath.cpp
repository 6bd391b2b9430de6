#include "Workspace/SearchPath.h"

#include <string>
#include <string_view>

namespace tarnwick {

std::vector<std::filesystem::path> absoluteFolders(const char* list) {
    std::vector<std::filesystem::path> folders;
    std::string_view rest = list != nullptr ? list : "";
    while (!rest.empty()) {
        const auto end = rest.find(':');
        const std::filesystem::path folder(std::string(rest.substr(0, end)));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (folder.is_absolute()) {
            folders.push_back(folder.lexically_normal());
        }
    }
    return folders;
}

}  // namespace tarnwick
