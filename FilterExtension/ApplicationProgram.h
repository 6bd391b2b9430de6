#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace tarnwick {

// The program that may register as the application: the application binary of the bundle this
// extension came with. A process proves that it runs it by the file behind its /proc/PID/exe
// (device and inode); a name, a path or a user proves nothing, since every process of the desktop
// user can claim those. The program counts only as root left it: a regular file of root's that no
// one else may write, reached through folders of root's that no one else may write, so that the
// user can neither change it nor put a program of their own in its place.
class ApplicationProgram {
public:
    explicit ApplicationProgram(std::vector<std::filesystem::path> candidates);

    // The application of the extension that runs `extensionExecutable`. Inside an application
    // bundle (".../X.app/Contents/Library/SystemExtensions/Y.systemextension/Contents/MacOS/Y": a
    // build tree, or the bundle the package installed) it is that bundle's program. A copy that
    // the helper installed elsewhere serves the installed bundle (`installedApplication`) and the
    // copy moved into the Applications folder (`movedApplication`), both root's.
    static std::vector<std::filesystem::path> candidatesFor(
        const std::filesystem::path& extensionExecutable,
        const std::filesystem::path& installedApplication,
        const std::filesystem::path& movedApplication, const std::string& programName);

    // The application of this very process, as built and installed.
    static ApplicationProgram ofThisExtension();

    // Whether process `pid` runs one of the candidates, each as it is now.
    bool isRunBy(pid_t pid) const;

    const std::vector<std::filesystem::path>& candidates() const { return m_candidates; }

    // The device and inode of the file at `path` when only root can change it or what the path
    // names; nothing otherwise.
    static std::optional<std::pair<dev_t, ino_t>> rootOwnedProgram(
        const std::filesystem::path& path);

private:
    std::vector<std::filesystem::path> m_candidates;
};

}  // namespace tarnwick
