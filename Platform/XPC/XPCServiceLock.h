#pragma once

#include "Foundation/FileDescriptor.h"
#include "Foundation/Result.h"

#include <filesystem>
#include <string>

namespace tarnwick {

// Makes one process the only server of the services in a folder: an exclusive flock on a file in
// it, held for as long as the process keeps the lock (the kernel lets go when the process ends,
// however it ends). A second server takes it before touching anything the first one owns, and
// stops when it cannot have it.
//
// Taking an flock needs no more than opening the file for reading, so the file is this user's
// alone (0600): a file of another owner or mode, or a link, in its place is replaced, never used,
// as whoever opened it could hold on to the lock and keep every later server out.
class XPCServiceLock {
public:
    // The lock file of the services folder.
    static std::filesystem::path pathIn(const std::filesystem::path& servicesDirectory);

    // The lock, or why it cannot be had: another process holds it (with that process's id when it
    // is known), or the file cannot be made safely.
    [[nodiscard]] static Result<XPCServiceLock, std::string> acquire(
        const std::filesystem::path& path);
    // Whether some process holds the lock now (of a file a server could have made).
    static bool isHeld(const std::filesystem::path& path);

    XPCServiceLock(XPCServiceLock&&) = default;
    XPCServiceLock& operator=(XPCServiceLock&&) = default;

private:
    explicit XPCServiceLock(FileDescriptor fd) : m_fd(std::move(fd)) {}

    FileDescriptor m_fd;
};

}  // namespace tarnwick
