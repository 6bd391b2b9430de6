#include "RegularFile.h"

#include "Foundation/FileDescriptor.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

Result<std::vector<std::uint8_t>, std::string> readRegularFile(const std::filesystem::path& path,
                                                               std::size_t maximumBytes) {
    const std::string name = path.string();
    const FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0) {
        return Failure{"cannot open " + name + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(status.st_mode)) {
        return Failure{name + " is not a regular file"};
    }
    const std::string tooLarge =
        name + " is larger than " + std::to_string(maximumBytes) + " bytes";
    if (static_cast<std::uint64_t>(status.st_size) > maximumBytes) {
        return Failure{tooLarge};
    }
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 64 * 1024> buffer{};
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return Failure{"cannot read " + name + ": " + std::strerror(errno)};
        }
        if (count == 0) {
            return bytes;
        }
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + count);
        // The file may have grown since fstat.
        if (bytes.size() > maximumBytes) {
            return Failure{tooLarge};
        }
    }
}

}  // namespace tarnwick
