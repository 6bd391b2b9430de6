#pragma once

#include "Foundation/FileError.h"
#include "Foundation/PinnedDirectory.h"
#include "Foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace tarnwick {

// A copy of a folder that a user handed to a program running as root (a bundle to install), made
// so that nothing of the user's survives into it: fresh files and folders owned by root (0755 for
// programs and folders, 0644 for the rest, never set-id), whatever the umask or the source said.
// The source is read only through descriptors opened without following links; a symbolic link,
// FIFO, device or socket anywhere in it refuses the whole copy, as does a tree beyond the limits.
class RootOwnedCopy {
public:
    struct Limits {
        int maximumDepth = 32;
        std::size_t maximumEntries = 20000;
        std::uint64_t maximumBytes = std::uint64_t{1} << 30;
    };

    struct Options {
        Limits limits;
        // Every entry must belong to this user. Set for a source whose owner asked for the copy:
        // a file of someone else's in it (a hard link to root's) would be handed out readable to
        // all.
        std::optional<uid_t> owner;
        // Checks the finished copy before it is put in place; a failure discards it.
        std::function<Result<void, FileError>(const PinnedDirectory& copy)> verify;
    };

    // Puts a copy of `source` into `folder` as `name`. It is made beside its place first, in a
    // staging folder of this run's own (".<name>.new-<random>"), so a failed copy never leaves
    // half a tree under `name` and two runs at once never finish each other's copy, and then
    // exchanged with what was there, so an older copy is replaced in one step. The caller holds
    // a lock on `folder` (PrivilegedLock): staging folders of runs that were killed are removed.
    static Result<void, FileError> install(const PinnedDirectory& folder,
                                           const PinnedDirectory& source, const std::string& name,
                                           const Options& options);
};

}  // namespace tarnwick
