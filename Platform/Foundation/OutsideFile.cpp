#include "OutsideFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace tarnwick {

namespace {

// A sentence for the log that names the file.
FileError failure(const std::filesystem::path& path, const std::string& reason,
                  FileError::Code code = FileError::Code::failed, const char* verb = "read") {
    return {code, std::string("cannot ") + verb + " " + path.string() + ": " + reason};
}

std::string tooLarge(std::uint64_t maximumBytes) {
    return "larger than " + std::to_string(maximumBytes) + " bytes";
}

// O_NONBLOCK: opening a FIFO would wait for its other end, a terminal for its carrier.
// O_NOCTTY: a session leader without a terminal would otherwise take this one as its own, and
// with it the signals typed on it.
Result<OutsideFile::Opened, FileError> openSafely(int directory, const std::filesystem::path& path,
                                                  int flags, mode_t mode,
                                                  std::uint64_t maximumBytes) {
    const char* verb = (flags & O_ACCMODE) == O_RDONLY ? "read" : "write";
    const auto failed = [&](const std::string& reason,
                            FileError::Code code = FileError::Code::failed) {
        return Failure{failure(path, reason, code, verb)};
    };
    OutsideFile::Opened opened;
    opened.descriptor.reset(
        ::openat(directory, path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
    if (!opened.descriptor) {
        const int error = errno;
        return failed(std::strerror(error),
                      error == ENOENT ? FileError::Code::notFound : FileError::Code::failed);
    }
    if (::fstat(opened.descriptor.get(), &opened.status) != 0) {
        return failed(std::strerror(errno));
    }
    if (!S_ISREG(opened.status.st_mode)) {
        return failed("not a regular file");
    }
    if (static_cast<std::uint64_t>(opened.status.st_size) > maximumBytes) {
        return failed(tooLarge(maximumBytes));
    }
    const int status = ::fcntl(opened.descriptor.get(), F_GETFL);
    if (status < 0 || ::fcntl(opened.descriptor.get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
        return failed(std::strerror(errno));
    }
    return opened;
}

// The rest of an opened file; stops one byte past the limit.
Result<std::string, FileError> readOpened(Result<OutsideFile::Opened, FileError> opened,
                                          const std::filesystem::path& path,
                                          std::uint64_t maximumBytes) {
    if (!opened) {
        return Failure{opened.error()};
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(opened->status.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(opened->descriptor.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return Failure{failure(path, std::strerror(errno))};
        }
        if (count == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        if (bytes.size() > maximumBytes) {
            return Failure{failure(path, tooLarge(maximumBytes))};
        }
    }
}

}  // namespace

Result<OutsideFile::Opened, FileError> OutsideFile::open(const std::filesystem::path& path,
                                                         std::uint64_t maximumBytes) {
    return openSafely(AT_FDCWD, path, O_RDONLY, 0, maximumBytes);
}

Result<OutsideFile::Opened, FileError> OutsideFile::openForAppending(
    const std::filesystem::path& path, mode_t mode) {
    return openSafely(AT_FDCWD, path, O_RDWR | O_CREAT | O_APPEND, mode,
                      std::numeric_limits<std::uint64_t>::max());
}

Result<std::string, FileError> OutsideFile::read(const std::filesystem::path& path,
                                                 std::uint64_t maximumBytes) {
    return readOpened(open(path, maximumBytes), path, maximumBytes);
}

Result<std::string, FileError> OutsideFile::readIn(int directory, const std::string& name,
                                                   std::uint64_t maximumBytes) {
    // One name in that folder: a path through it would walk links again.
    if (name.empty() || name.find('/') != std::string::npos) {
        return Failure{failure(name, "not a name in its folder")};
    }
    return readOpened(openSafely(directory, name, O_RDONLY | O_NOFOLLOW, 0, maximumBytes), name,
                      maximumBytes);
}

}  // namespace tarnwick
