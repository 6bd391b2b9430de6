#include "MapKit/RegularFile.h"

#include "Foundation/FileDescriptor.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

Result<std::string, std::string> readRegularFile(const std::filesystem::path& path,
                                                 std::size_t maximumBytes) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0) {
        return Failure{"cannot open " + path.string() + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(status.st_mode)) {
        return Failure{path.string() + " is not a regular file"};
    }
    const std::string tooLarge =
        path.string() + " is larger than " + std::to_string(maximumBytes) + " bytes";
    if (static_cast<std::uint64_t>(status.st_size) > maximumBytes) {
        return Failure{tooLarge};
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(status.st_size));
    std::array<char, 256 * 1024> buffer{};
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return Failure{"cannot read " + path.string() + ": " + std::strerror(errno)};
        }
        if (count == 0) {
            return text;
        }
        text.append(buffer.data(), static_cast<std::size_t>(count));
        if (text.size() > maximumBytes) {
            return Failure{tooLarge};
        }
    }
}

}  // namespace tarnwick
