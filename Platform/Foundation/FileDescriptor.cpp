#include "FileDescriptor.h"

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

}  // namespace tarnwick
