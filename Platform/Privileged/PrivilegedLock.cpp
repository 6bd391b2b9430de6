#include "PrivilegedLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarnwick {

namespace {

constexpr mode_t kLockMode = 0600;

bool isTrusted(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 07777) == kLockMode && info.st_nlink == 1;
}

FileDescriptor openLock(const PinnedDirectory& folder, const std::string& name) {
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    // Another run may make the file between our looking and our making it: then it is looked at
    // again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        FileDescriptor lock(::openat(folder.fd(), name.c_str(), flags));
        if (lock && isTrusted(lock.get())) {
            return lock;
        }
        if (lock || errno != ENOENT) {
            // Not ours, or not a plain file (a link, a FIFO): it goes, whatever it is.
            (void)folder.removeEntry(name);
        }
        lock = FileDescriptor(
            ::openat(folder.fd(), name.c_str(), flags | O_CREAT | O_EXCL, kLockMode));
        if (lock && ::fchmod(lock.get(), kLockMode) == 0 && isTrusted(lock.get())) {
            return lock;
        }
        if (lock || errno != EEXIST) {
            break;
        }
    }
    return FileDescriptor();
}

}  // namespace

Result<FileDescriptor, std::string> PrivilegedLock::acquire(const PinnedDirectory& folder,
                                                            const std::string& name,
                                                            std::chrono::milliseconds limit) {
    if (!PinnedDirectory::isPlainName(name)) {
        return Failure{"Bad lock name " + name};
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        FileDescriptor lock = openLock(folder, name);
        if (!lock) {
            return Failure{"Cannot open the lock " + (folder.path() / name).string()};
        }
        while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                return Failure{"Cannot lock " + (folder.path() / name).string()};
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return Failure{"Another run holds " + (folder.path() / name).string() +
                               " and does not end"};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        // Held, but only counts while the name still leads to it: a run that replaced a bad
        // file meanwhile locks the new one.
        struct stat held {};
        struct stat named {};
        if (::fstat(lock.get(), &held) == 0 &&
            ::fstatat(folder.fd(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return lock;
        }
    }
}

}  // namespace tarnwick
