#include "ApplicationProgram.h"

#include "Foundation/PinnedDirectory.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace tarnwick {

namespace fs = std::filesystem;

ApplicationProgram::ApplicationProgram(std::vector<fs::path> candidates)
    : m_candidates(std::move(candidates)) {}

std::vector<fs::path> ApplicationProgram::candidatesFor(const fs::path& extensionExecutable,
                                                        const fs::path& installedApplication,
                                                        const fs::path& movedApplication,
                                                        const std::string& programName) {
    // Walks up from Contents/MacOS/<program> of the extension bundle to the application bundle.
    const fs::path macOS = extensionExecutable.parent_path();
    const fs::path extensionContents = macOS.parent_path();
    const fs::path extensionBundle = extensionContents.parent_path();
    const fs::path systemExtensions = extensionBundle.parent_path();
    const fs::path library = systemExtensions.parent_path();
    const fs::path contents = library.parent_path();
    const fs::path application = contents.parent_path();
    if (macOS.filename() == "MacOS" && extensionContents.filename() == "Contents" &&
        extensionBundle.extension() == ".systemextension" &&
        systemExtensions.filename() == "SystemExtensions" && library.filename() == "Library" &&
        contents.filename() == "Contents" && application.extension() == ".app") {
        return {contents / "MacOS" / programName};
    }
    return {installedApplication, movedApplication};
}

ApplicationProgram ApplicationProgram::ofThisExtension() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const fs::path moved = fs::path("/Applications") /
                           (std::string(TARNWICK_APPLICATION_NAME) + ".app") / "Contents" /
                           "MacOS" / TARNWICK_APPLICATION_NAME;
    return ApplicationProgram(
        candidatesFor(self, TARNWICK_INSTALLED_APPLICATION, moved, TARNWICK_APPLICATION_NAME));
}

std::optional<std::pair<dev_t, ino_t>> ApplicationProgram::rootOwnedProgram(const fs::path& path) {
    if (!path.has_filename() || !path.is_absolute()) {
        return std::nullopt;
    }
    const auto folder = PinnedDirectory::open(path.parent_path().lexically_normal(),
                                              {.rootOwnedChain = true, .create = false});
    if (!folder) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstatat(folder->fd(), path.filename().c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return std::nullopt;
    }
    return std::pair{info.st_dev, info.st_ino};
}

bool ApplicationProgram::isRunBy(pid_t pid) const {
    if (pid <= 0) {
        return false;
    }
    // The file the process runs, whatever its path: stat follows the link to the very inode.
    struct stat running {};
    if (::stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &running) != 0) {
        return false;
    }
    for (const auto& candidate : m_candidates) {
        // A quick look first: every client that connects is asked about, and most run something
        // else, so the walk through the folders is only made for the file the process runs.
        struct stat quick {};
        if (::stat(candidate.c_str(), &quick) != 0 || quick.st_dev != running.st_dev ||
            quick.st_ino != running.st_ino) {
            continue;
        }
        if (const auto program = rootOwnedProgram(candidate);
            program && program->first == running.st_dev && program->second == running.st_ino) {
            return true;
        }
    }
    return false;
}

}  // namespace tarnwick
