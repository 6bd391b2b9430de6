#pragma once

#include "Foundation/FileDescriptor.h"
#include "Foundation/PinnedDirectory.h"
#include "Foundation/Result.h"

#include <chrono>
#include <string>

namespace tarnwick {

// Serialises the runs of a program that works as root (two installs, two moves at once): an
// exclusive lock on a file of root's in a folder of root's, held until the descriptor closes, so
// it is let go however the run ends. The file is made with O_NOFOLLOW and mode 0600, and one
// found with another owner, another mode or another type is removed and made again, never used:
// a lock that another user could open is a lock they could hold for ever.
class PrivilegedLock {
public:
    static Result<FileDescriptor, std::string> acquire(const PinnedDirectory& folder,
                                                       const std::string& name,
                                                       std::chrono::milliseconds limit);
};

}  // namespace tarnwick
