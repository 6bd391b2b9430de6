#pragma once

#include "FileDescriptor.h"
#include "FileError.h"
#include "Result.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// A folder reached from "/" one component at a time without following a symbolic link, held open
// so that everything done in it stays in that folder whatever happens to its path meanwhile. Code
// that works as root on a path a user can change goes through one: the path is read once, then
// only the descriptor counts.
class PinnedDirectory {
public:
    struct Options {
        // Every component, "/" included, belongs to root and is not writable by group or others,
        // so no other user can change what the path names. A folder that others may write but
        // that has the sticky bit (/tmp) counts too: there nobody but root can rename or remove
        // root's entries, and the next component must be root's.
        bool rootOwnedChain = false;
        // Missing components are made (0755, owned by the caller).
        bool create = false;
    };

    // `path` must be absolute and normal (no "." or ".." components).
    static Result<PinnedDirectory, FileError> open(const std::filesystem::path& path,
                                                   Options options);
    // The folder at `path`, not followed when its last component is a symbolic link (those above
    // may be links): for a folder that is only read, such as what a user asks to install.
    static Result<PinnedDirectory, FileError> openNotFollowingLast(
        const std::filesystem::path& path);
    // The folder `name` in this one, not followed when it is a symbolic link.
    Result<PinnedDirectory, FileError> openChild(const std::string& name, Options options) const;

    int fd() const { return m_fd.get(); }
    dev_t device() const { return m_device; }
    ino_t inode() const { return m_inode; }
    const std::filesystem::path& path() const { return m_path; }

    // The names in the folder, "." and ".." left out.
    Result<std::vector<std::string>, FileError> entries() const;

    // Removes the entry `name` in this folder and, when it is a folder, everything in it. A
    // symbolic link is removed, never followed; nothing on another file system is entered; a tree
    // deeper than `maxDepth` is refused (what was removed so far stays removed).
    Result<void, FileError> removeEntry(const std::string& name, int maxDepth = 64) const;

    // Whether a component or entry name is one plain name: not empty, no "/", not "." or "..".
    static bool isPlainName(const std::string& name);

private:
    PinnedDirectory(FileDescriptor fd, std::filesystem::path path, dev_t device, ino_t inode);
    static Result<PinnedDirectory, FileError> adopt(FileDescriptor fd, std::filesystem::path path,
                                                    Options options);

    FileDescriptor m_fd;
    std::filesystem::path m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

}  // namespace tarnwick
