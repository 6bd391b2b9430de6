#include "FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tarnwick {

void FileDescriptor::reset(int fd) {
    const int old = std::exchange(m_fd, fd);
    if (old >= 0 && old != fd) {
        // close() after EINTR leaves the descriptor closed on Linux; retrying could close another
        // thread's new descriptor, so the result is deliberately not checked.
        (void)::close(old);
    }
}

Result<void, std::string> writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure{std::string(std::strerror(errno))};
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

}  // namespace tarnwick
