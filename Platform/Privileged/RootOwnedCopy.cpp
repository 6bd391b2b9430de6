#include "RootOwnedCopy.h"

#include "Foundation/FileDescriptor.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

using Step = Result<void, FileError>;

FileError error(const std::string& message) {
    return FileError{FileError::Code::failed, message};
}

struct Copying {
    const RootOwnedCopy::Options& options;
    std::size_t entries = 0;
    std::uint64_t bytes = 0;
};

// The owner and mode the copy must have, whatever the umask, the folder's set-group-id bit or the
// source said. Without root (in tests) the files stay the caller's.
bool makeRootOwned(int fd, mode_t mode) {
    return (::geteuid() != 0 || ::fchown(fd, 0, 0) == 0) && ::fchmod(fd, mode) == 0;
}

Step requireOwner(const struct stat& info, const Copying& copying, const fs::path& shown) {
    if (copying.options.owner && info.st_uid != *copying.options.owner) {
        return Failure{error("Not copied: " + shown.string() + " belongs to another user")};
    }
    return {};
}

Step copyFile(int from, int to, const std::string& name, const fs::path& shown, Copying& copying) {
    const FileDescriptor in(
        ::openat(from, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Failure{error("Cannot copy " + shown.string() + ": not a readable file")};
    }
    // Checked again on the opened file: the entry may have been swapped since it was looked at.
    if (auto owned = requireOwner(info, copying, shown); !owned) {
        return owned;
    }
    const mode_t mode = (info.st_mode & 0111) ? 0755 : 0644;
    const FileDescriptor out(
        ::openat(to, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out || !makeRootOwned(out.get(), 0600)) {
        return Failure{error("Cannot write the copy of " + shown.string())};
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Failure{error("Cannot read " + shown.string())};
        }
        if (got == 0) {
            break;
        }
        copying.bytes += static_cast<std::uint64_t>(got);
        if (copying.bytes > copying.options.limits.maximumBytes) {
            return Failure{error("Not copied: the bundle is too large")};
        }
        if (!writeAll(out.get(), std::string_view(buffer, static_cast<std::size_t>(got)))) {
            return Failure{error("Cannot write the copy of " + shown.string())};
        }
    }
    if (!makeRootOwned(out.get(), mode)) {
        return Failure{error("Cannot write the copy of " + shown.string())};
    }
    return {};
}

Step copyFolder(const PinnedDirectory& from, int to, const fs::path& shown, int depthLeft,
                Copying& copying) {
    auto names = from.entries();
    if (!names) {
        return Failure{error(names.error().message)};
    }
    for (const auto& name : *names) {
        const auto path = shown / name;
        if (++copying.entries > copying.options.limits.maximumEntries) {
            return Failure{error("Not copied: the bundle holds too many files")};
        }
        struct stat info {};
        if (::fstatat(from.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return Failure{error("Cannot read " + path.string())};
        }
        if (S_ISLNK(info.st_mode)) {
            return Failure{error("Not copied: the bundle holds a symbolic link: " + path.string())};
        }
        if (S_ISREG(info.st_mode)) {
            if (auto copied = copyFile(from.fd(), to, name, path, copying); !copied) {
                return copied;
            }
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            return Failure{error(
                "Not copied: the bundle holds something that is neither a file nor a folder: " +
                path.string())};
        }
        if (depthLeft <= 0) {
            return Failure{error("Not copied: the bundle is nested too deeply")};
        }
        auto source = from.openChild(name, {});
        if (!source) {
            return Failure{error(source.error().message)};
        }
        if (auto owned = requireOwner(info, copying, path); !owned) {
            return owned;
        }
        if (::mkdirat(to, name.c_str(), 0700) != 0) {
            return Failure{error("Cannot create the copy of " + path.string())};
        }
        const FileDescriptor made(
            ::openat(to, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!made || !makeRootOwned(made.get(), 0755)) {
            return Failure{error("Cannot create the copy of " + path.string())};
        }
        if (auto copied = copyFolder(*source, made.get(), path, depthLeft - 1, copying); !copied) {
            return copied;
        }
    }
    return {};
}

Step removeIfThere(const PinnedDirectory& folder, const std::string& name) {
    auto removed = folder.removeEntry(name);
    if (!removed && removed.error().code != FileError::Code::notFound) {
        return removed;
    }
    return {};
}

std::string stagingPrefix(const std::string& name) {
    return "." + name + ".new-";
}

// A staging folder of this run's own: a second run at the same time never writes into it, removes
// it or puts it in place.
Step makeStaging(const PinnedDirectory& folder, const std::string& name, std::string& staging) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof(suffix), "%08x%08x", random(), random());
        staging = stagingPrefix(name) + suffix;
        if (::mkdirat(folder.fd(), staging.c_str(), 0700) == 0) {
            return {};
        }
        if (errno != EEXIST) {
            break;
        }
    }
    staging.clear();
    return Failure{error("Cannot create a staging folder in " + folder.path().string())};
}

// Leftovers of runs that were killed. Only called with the caller's lock held, so no staging
// folder of a run still going is among them.
void removeLeftovers(const PinnedDirectory& folder, const std::string& name) {
    auto names = folder.entries();
    if (!names) {
        return;
    }
    const std::string prefix = stagingPrefix(name);
    for (const auto& entry : *names) {
        if (entry.rfind(prefix, 0) == 0 || entry == name + ".new") {
            (void)folder.removeEntry(entry);
        }
    }
}

Step copyInto(const PinnedDirectory& folder, const PinnedDirectory& source, const std::string& name,
              std::string& staging, const RootOwnedCopy::Options& options) {
    struct stat top {};
    if (::fstat(source.fd(), &top) != 0) {
        return Failure{error("Cannot read " + source.path().string())};
    }
    Copying copying{options};
    if (auto owned = requireOwner(top, copying, source.path()); !owned) {
        return owned;
    }
    if (auto made = makeStaging(folder, name, staging); !made) {
        return made;
    }
    auto copy = folder.openChild(staging, {});
    if (!copy) {
        return Failure{copy.error()};
    }
    if (auto copied =
            copyFolder(source, copy->fd(), source.path(), options.limits.maximumDepth, copying);
        !copied) {
        return copied;
    }
    if (!makeRootOwned(copy->fd(), 0755)) {
        return Failure{error("Cannot set up " + copy->path().string())};
    }
    return options.verify ? options.verify(*copy) : Step{};
}

}  // namespace

Result<void, FileError> RootOwnedCopy::install(const PinnedDirectory& folder,
                                               const PinnedDirectory& source,
                                               const std::string& name, const Options& options) {
    if (!PinnedDirectory::isPlainName(name)) {
        return Failure{error("Bad name " + (folder.path() / name).string())};
    }
    removeLeftovers(folder, name);
    std::string staging;
    if (auto copied = copyInto(folder, source, name, staging, options); !copied) {
        if (!staging.empty()) {
            (void)folder.removeEntry(staging);  // the failure says why; a leftover goes next time
        }
        return copied;
    }
    if (::renameat2(folder.fd(), staging.c_str(), folder.fd(), name.c_str(), RENAME_NOREPLACE) ==
        0) {
        return {};
    }
    if (errno != EEXIST || ::renameat2(folder.fd(), staging.c_str(), folder.fd(), name.c_str(),
                                       RENAME_EXCHANGE) != 0) {
        (void)folder.removeEntry(staging);
        return Failure{error("Cannot put the copy in place as " + (folder.path() / name).string())};
    }
    // The older copy now has the staging name.
    return removeIfThere(folder, staging);
}

}  // namespace tarnwick
