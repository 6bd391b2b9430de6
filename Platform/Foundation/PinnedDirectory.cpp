#include "PinnedDirectory.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

FileError failure(int error, const std::string& what) {
    return FileError{error == ENOENT ? FileError::Code::notFound : FileError::Code::failed,
                     what + ": " + std::strerror(error)};
}

FileError openFailure(int error, const fs::path& path) {
    if (error == ELOOP || error == ENOTDIR) {
        return FileError{FileError::Code::failed,
                         path.string() + " is not a folder (or is a link)"};
    }
    return failure(error, "Cannot open " + path.string());
}

FileDescriptor openFolderAt(int parent, const std::string& name) {
    return FileDescriptor(::openat(parent, name.c_str(), kDirectoryFlags));
}

// The names in a folder, read through a descriptor of its own so the caller's stays usable.
Result<std::vector<std::string>, FileError> entriesOf(int folder, const std::string& what) {
    const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    DIR* listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (listing == nullptr) {
        const int error = errno;
        if (copy >= 0) {
            ::close(copy);
        }
        return Failure{failure(error, "Cannot list " + what)};
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
        errno = 0;
    }
    const int error = errno;
    ::closedir(listing);
    if (error != 0) {
        return Failure{failure(error, "Cannot list " + what)};
    }
    return names;
}

Result<void, FileError> removeTree(int parent, const std::string& name, dev_t device, int depthLeft,
                                   const fs::path& path) {
    FileDescriptor folder = openFolderAt(parent, name);
    if (!folder) {
        // Not a folder (a symbolic link among them): the entry itself goes.
        if ((errno == ENOTDIR || errno == ELOOP) && ::unlinkat(parent, name.c_str(), 0) == 0) {
            return {};
        }
        return Failure{failure(errno, "Cannot remove " + path.string())};
    }
    struct stat info {};
    if (::fstat(folder.get(), &info) != 0) {
        return Failure{failure(errno, "Cannot examine " + path.string())};
    }
    if (info.st_dev != device) {
        return Failure{FileError{FileError::Code::failed,
                                 "Not removed: " + path.string() + " is another file system"}};
    }
    if (depthLeft <= 0) {
        return Failure{
            FileError{FileError::Code::failed, "Not removed: " + path.string() + " is too deep"}};
    }
    auto names = entriesOf(folder.get(), path.string());
    if (!names) {
        return Failure{names.error()};
    }
    for (const auto& child : *names) {
        if (auto removed = removeTree(folder.get(), child, device, depthLeft - 1, path / child);
            !removed) {
            return removed;
        }
    }
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) {
        return Failure{failure(errno, "Cannot remove " + path.string())};
    }
    return {};
}

}  // namespace

PinnedDirectory::PinnedDirectory(FileDescriptor fd, fs::path path, dev_t device, ino_t inode)
    : m_fd(std::move(fd)), m_path(std::move(path)), m_device(device), m_inode(inode) {}

bool PinnedDirectory::isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

Result<PinnedDirectory, FileError> PinnedDirectory::adopt(FileDescriptor fd, fs::path path,
                                                          Options options) {
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return Failure{failure(errno, "Cannot examine " + path.string())};
    }
    const bool othersMayReplaceEntries =
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0;
    if (options.rootOwnedChain && (info.st_uid != 0 || othersMayReplaceEntries)) {
        return Failure{
            FileError{FileError::Code::failed,
                      path.string() + " must belong to root and be writable by nobody else"}};
    }
    return PinnedDirectory(std::move(fd), std::move(path), info.st_dev, info.st_ino);
}

Result<PinnedDirectory, FileError> PinnedDirectory::open(const fs::path& path, Options options) {
    if (!path.is_absolute() || path != path.lexically_normal()) {
        return Failure{
            FileError{FileError::Code::failed, path.string() + " is not an absolute, normal path"}};
    }
    FileDescriptor root(::open("/", kDirectoryFlags));
    if (!root) {
        return Failure{failure(errno, "Cannot open /")};
    }
    auto folder = adopt(std::move(root), "/", options);
    for (const auto& component : path.relative_path()) {
        if (!folder) {
            return folder;
        }
        // "a/b/" ends in an empty component.
        if (component.empty()) {
            continue;
        }
        folder = folder->openChild(component.string(), options);
    }
    return folder;
}

Result<PinnedDirectory, FileError> PinnedDirectory::openNotFollowingLast(const fs::path& path) {
    FileDescriptor folder(::open(path.c_str(), kDirectoryFlags));
    if (!folder) {
        return Failure{openFailure(errno, path)};
    }
    return adopt(std::move(folder), path, {});
}

Result<std::vector<std::string>, FileError> PinnedDirectory::entries() const {
    return entriesOf(fd(), m_path.string());
}

Result<PinnedDirectory, FileError> PinnedDirectory::openChild(const std::string& name,
                                                              Options options) const {
    const auto childPath = m_path / name;
    if (!isPlainName(name)) {
        return Failure{FileError{FileError::Code::failed, "Bad folder name " + childPath.string()}};
    }
    FileDescriptor child = openFolderAt(fd(), name);
    if (!child && errno == ENOENT && options.create) {
        if (::mkdirat(fd(), name.c_str(), 0755) != 0 && errno != EEXIST) {
            return Failure{failure(errno, "Cannot create " + childPath.string())};
        }
        child = openFolderAt(fd(), name);
    }
    if (!child) {
        return Failure{openFailure(errno, childPath)};
    }
    return adopt(std::move(child), childPath, options);
}

Result<void, FileError> PinnedDirectory::removeEntry(const std::string& name, int maxDepth) const {
    if (!isPlainName(name)) {
        return Failure{FileError{FileError::Code::failed, "Bad name " + (m_path / name).string()}};
    }
    return removeTree(fd(), name, m_device, maxDepth, m_path / name);
}

}  // namespace tarnwick
