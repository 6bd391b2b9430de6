#include "XPCServicePath.h"

#include "Foundation/ServiceFolder.h"

namespace tarnwick {

std::filesystem::path xpcServicesDirectory() {
    return "/run/tarnwick";
}

std::filesystem::path xpcSocketPath(const std::string& serviceName) {
    return xpcServicesDirectory() / serviceName;
}

Result<void, std::string> prepareXPCServicesDirectory(const std::filesystem::path& directory) {
    return prepareServiceFolder(directory);
}

}  // namespace tarnwick
