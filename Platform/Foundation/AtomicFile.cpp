#include "AtomicFile.h"

#include "Foundation/FileDescriptor.h"
#include "Foundation/OutsideFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

FileError failure(FileError::Code code, const std::string& what, const std::string& reason) {
    return {code, what + ": " + reason};
}

FileError failureFromErrno(const std::string& what) {
    const int error = errno;
    return failure(error == ENOENT ? FileError::Code::notFound : FileError::Code::failed, what,
                   std::strerror(error));
}

// mkstemp replaces the six X with letters and digits.
constexpr std::string_view kTemporarySuffix = ".XXXXXX";

bool isTemporaryName(const std::string& name, const std::string& target) {
    if (name.size() != target.size() + kTemporarySuffix.size() || name.rfind(target, 0) != 0 ||
        name[target.size()] != '.') {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(target.size()) + 1, name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

Result<std::string, FileError> AtomicFile::read(const std::filesystem::path& file,
                                                std::uint64_t maximumBytes) {
    return OutsideFile::read(file, maximumBytes);
}

Result<void, FileError> AtomicFile::write(const std::filesystem::path& file,
                                          std::string_view contents, mode_t mode) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) {
        return Failure{failure(FileError::Code::failed,
                               "cannot create " + file.parent_path().string(), error.message())};
    }
    std::string temporary = file.string() + std::string(kTemporarySuffix);
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (!fd) {
        return Failure{failureFromErrno("cannot create a temporary file beside " + file.string())};
    }
    auto written = writeAll(fd.get(), contents);
    if (written && ::fchmod(fd.get(), mode) != 0) {
        written = Failure{std::string(std::strerror(errno))};
    }
    if (written && ::fsync(fd.get()) != 0) {
        written = Failure{std::string(std::strerror(errno))};
    }
    // Closed here rather than by the owner: on some file systems close reports the write error.
    if (::close(fd.release()) != 0 && written) {
        written = Failure{std::string(std::strerror(errno))};
    }
    if (written && ::rename(temporary.c_str(), file.c_str()) != 0) {
        written = Failure{std::string(std::strerror(errno))};
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return Failure{
            failure(FileError::Code::failed, "cannot write " + file.string(), written.error())};
    }
    return {};
}

void AtomicFile::removeStaleTemporaryFiles(const std::filesystem::path& file,
                                           std::chrono::seconds age) {
    const std::string target = file.filename().string();
    const auto folder =
        file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    const auto before = std::chrono::system_clock::now() - age;
    std::error_code error;
    for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error)) {
        const auto& path = entries->path();
        struct stat status {};
        // lstat: a link of that name is not a file of ours, whatever it points at.
        if (!isTemporaryName(path.filename().string(), target) ||
            ::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_uid != ::geteuid() ||
            std::chrono::system_clock::from_time_t(status.st_mtim.tv_sec) > before) {
            continue;
        }
        ::unlink(path.c_str());
    }
}

Result<std::filesystem::path, FileError> AtomicFile::keepAside(const std::filesystem::path& file,
                                                               std::string_view contents) {
    for (int attempt = 1; attempt < 1000; ++attempt) {
        std::string name = file.string();
        name.append(".corrupt");
        if (attempt > 1) {
            name.append("-").append(std::to_string(attempt));
        }
        const std::filesystem::path side(std::move(name));
        // A side file that cannot be read is simply not reused; a new name is tried.
        if (auto earlier = read(side); earlier && *earlier == contents) {
            return side;
        }
        // O_EXCL: an earlier side file is never replaced.
        FileDescriptor fd(::open(side.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST) {
                continue;
            }
            return Failure{failureFromErrno("cannot create " + side.string())};
        }
        auto written = writeAll(fd.get(), contents);
        if (written && ::fsync(fd.get()) != 0) {
            written = Failure{std::string(std::strerror(errno))};
        }
        if (!written) {
            fd.reset();
            ::unlink(side.c_str());
            return Failure{
                failure(FileError::Code::failed, "cannot write " + side.string(), written.error())};
        }
        return side;
    }
    return Failure{FileError{FileError::Code::failed, "cannot keep " + file.string() +
                                                          " aside: every side file name is taken"}};
}

}  // namespace tarnwick
