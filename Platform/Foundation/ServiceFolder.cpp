#include "ServiceFolder.h"

#include "Foundation/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

Result<void, std::string> prepareServiceFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return Failure{"cannot create " + folder.string() + ": " + std::strerror(errno)};
    }
    const FileDescriptor opened(
        ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!opened || ::fstat(opened.get(), &status) != 0) {
        return Failure{folder.string() + " is not a folder: " + std::strerror(errno)};
    }
    // Another user who could write here could put their own files in ours' place.
    if (status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return Failure{folder.string() + " can be written by others"};
    }
    if ((status.st_mode & 07777) != 0755 && ::fchmod(opened.get(), 0755) != 0) {
        return Failure{"cannot set the mode of " + folder.string() + ": " + std::strerror(errno)};
    }
    return {};
}

}  // namespace tarnwick
