#pragma once

#include "Result.h"

#include <string>
#include <string_view>
#include <utility>

namespace tarnwick {

// Owns one open file descriptor and closes it when it goes, so no early return or exception leaks
// a descriptor. Move-only: exactly one owner closes it.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }
    // Gives up ownership without closing.
    int release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held now, if any, and takes `fd`.
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// Writes every byte of `bytes` to `fd`, retrying short writes and EINTR; the error is the system's
// reason when a write fails.
[[nodiscard]] Result<void, std::string> writeAll(int fd, std::string_view bytes);

}  // namespace tarnwick
