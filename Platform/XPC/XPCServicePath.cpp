#include "XPCServicePath.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

std::filesystem::path xpcServicesDirectory() {
    return "/run/tarnwick";
}

std::filesystem::path xpcSocketPath(const std::string& serviceName) {
    return xpcServicesDirectory() / serviceName;
}

Result<void, std::string> prepareXPCServicesDirectory(const std::filesystem::path& directory) {
    if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) {
        return Failure{"cannot create " + directory.string() + ": " + std::strerror(errno)};
    }
    struct stat status {};
    if (::lstat(directory.c_str(), &status) != 0) {
        return Failure{"cannot read " + directory.string() + ": " + std::strerror(errno)};
    }
    if (!S_ISDIR(status.st_mode)) {
        return Failure{directory.string() + " is not a folder"};
    }
    // Another user who could write here could put their own socket in our place.
    if (status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return Failure{directory.string() + " can be written by others"};
    }
    return {};
}

}  // namespace tarnwick
