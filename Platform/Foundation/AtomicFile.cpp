#include "AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tarnwick {

namespace {

std::optional<std::string> writeAll(int fd, std::string_view contents) {
    const char* cursor = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, cursor, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::string(std::strerror(errno));
        }
        cursor += written;
        left -= static_cast<std::size_t>(written);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> AtomicFile::read(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return bytes.str();
}

std::optional<std::string> AtomicFile::write(const std::filesystem::path& file,
                                             std::string_view contents, mode_t mode) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) {
        return "cannot create " + file.parent_path().string() + ": " + error.message();
    }
    std::string temporary = file.string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return "cannot create a temporary file beside " + file.string() + ": " +
               std::strerror(errno);
    }
    auto failure = writeAll(fd, contents);
    if (!failure && ::fchmod(fd, mode) != 0) {
        failure = std::string(std::strerror(errno));
    }
    if (!failure && ::fsync(fd) != 0) {
        failure = std::string(std::strerror(errno));
    }
    if (::close(fd) != 0 && !failure) {
        failure = std::string(std::strerror(errno));
    }
    if (!failure && ::rename(temporary.c_str(), file.c_str()) != 0) {
        failure = std::string(std::strerror(errno));
    }
    if (failure) {
        ::unlink(temporary.c_str());
        return "cannot write " + file.string() + ": " + *failure;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> AtomicFile::keepAside(const std::filesystem::path& file,
                                                           std::string_view contents) {
    for (int attempt = 1; attempt < 1000; ++attempt) {
        std::string name = file.string();
        name.append(".corrupt");
        if (attempt > 1) {
            name.append("-").append(std::to_string(attempt));
        }
        const std::filesystem::path side(std::move(name));
        if (auto earlier = read(side); earlier && *earlier == contents) {
            return side;
        }
        // O_EXCL: an earlier side file is never replaced.
        const int fd = ::open(side.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return std::nullopt;
        }
        const bool written = !writeAll(fd, contents).has_value() && ::fsync(fd) == 0;
        ::close(fd);
        if (!written) {
            ::unlink(side.c_str());
            return std::nullopt;
        }
        return side;
    }
    return std::nullopt;
}

}  // namespace tarnwick
