#include "XPCServiceLock.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

// Never follows a link and never blocks: the folder is root's, but the file is opened the one
// safe way all the same.
FileDescriptor openLockFile(const std::filesystem::path& path, int flags) {
    return FileDescriptor(
        ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
}

std::string holderOf(int fd) {
    std::array<char, 32> text{};
    const ssize_t length = ::pread(fd, text.data(), text.size() - 1, 0);
    std::string pid(text.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) {
        pid.pop_back();
    }
    return pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos
               ? "another process"
               : "process " + pid;
}

}  // namespace

std::filesystem::path XPCServiceLock::pathIn(const std::filesystem::path& servicesDirectory) {
    return servicesDirectory / ".lock";
}

Result<XPCServiceLock, std::string> XPCServiceLock::acquire(const std::filesystem::path& path) {
    FileDescriptor fd = openLockFile(path, O_RDWR | O_CREAT);
    if (!fd) {
        return Failure{"cannot open " + path.string() + ": " + std::strerror(errno)};
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid()) {
        return Failure{path.string() + " is not a plain file of this user"};
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return Failure{"the services of " + path.parent_path().string() + " are served by " +
                           holderOf(fd.get())};
        }
        return Failure{"cannot lock " + path.string() + ": " + std::strerror(errno)};
    }
    // Who holds it, for the message a second server gives; the lock holds without it too.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd.get(), 0) == 0) {
        (void)!::pwrite(fd.get(), pid.data(), pid.size(), 0);
    }
    return XPCServiceLock(std::move(fd));
}

bool XPCServiceLock::isHeld(const std::filesystem::path& path) {
    const FileDescriptor fd = openLockFile(path, O_RDONLY);
    if (!fd) {
        return false;
    }
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK;
    }
    ::flock(fd.get(), LOCK_UN);
    return false;
}

}  // namespace tarnwick
