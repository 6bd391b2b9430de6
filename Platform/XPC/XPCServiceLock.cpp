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

// Never follows a link and never blocks.
FileDescriptor openLockFile(const std::filesystem::path& path, int flags) {
    return FileDescriptor(
        ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
}

// Locking needs no more than reading: a file another user can open, or one they made, could be
// locked by them and keep every later server out. Only a file of this user's alone is ours.
bool isOwnLockFile(const struct stat& status) {
    return S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & 07777) == 0600 && status.st_nlink == 1;
}

bool isSameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
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
    // A few rounds: another server may replace a bad file, or take the new one, meanwhile.
    for (int attempt = 0; attempt < 8; ++attempt) {
        FileDescriptor fd = openLockFile(path, O_RDWR);
        if (!fd && errno == ENOENT) {
            // Made here, so nobody else has it open yet; whatever the umask, it is 0600.
            fd = openLockFile(path, O_RDWR | O_CREAT | O_EXCL);
            if (!fd && errno == EEXIST) {
                continue;
            }
            if (fd && ::fchmod(fd.get(), 0600) != 0) {
                return Failure{"cannot protect " + path.string() + ": " + std::strerror(errno)};
            }
        }
        struct stat status {};
        if (!fd || ::fstat(fd.get(), &status) != 0 || !isOwnLockFile(status)) {
            // Whatever holds the name (a file of another user's or mode, a link, a folder) is
            // replaced, not used: whoever opened it keeps only a file that no longer counts.
            if (!fd && errno != ELOOP && errno != EACCES && errno != EISDIR && errno != ENXIO &&
                errno != EWOULDBLOCK) {
                return Failure{"cannot open " + path.string() + ": " + std::strerror(errno)};
            }
            if (::unlink(path.c_str()) != 0 && errno != ENOENT &&
                (errno != EISDIR || ::rmdir(path.c_str()) != 0)) {
                return Failure{"cannot replace " + path.string() + ": " + std::strerror(errno)};
            }
            continue;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                return Failure{"the services of " + path.parent_path().string() +
                               " are served by " + holderOf(fd.get())};
            }
            return Failure{"cannot lock " + path.string() + ": " + std::strerror(errno)};
        }
        // Locked, but the name may have been given to a new file since it was opened: only the
        // file the name still leads to counts.
        struct stat named {};
        if (::lstat(path.c_str(), &named) != 0 || !isSameFile(named, status)) {
            continue;
        }
        // Who holds it, for the message a second server gives; the lock holds without it too.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd.get(), 0) == 0) {
            (void)!::pwrite(fd.get(), pid.data(), pid.size(), 0);
        }
        return XPCServiceLock(std::move(fd));
    }
    return Failure{path.string() + " keeps changing while it is being locked"};
}

bool XPCServiceLock::isHeld(const std::filesystem::path& path) {
    const FileDescriptor fd = openLockFile(path, O_RDONLY);
    struct stat status {};
    // Only a lock a server of ours could hold counts.
    if (!fd || ::fstat(fd.get(), &status) != 0 || !isOwnLockFile(status)) {
        return false;
    }
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK;
    }
    ::flock(fd.get(), LOCK_UN);
    return false;
}

}  // namespace tarnwick
