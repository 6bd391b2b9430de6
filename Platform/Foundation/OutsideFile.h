#pragma once

#include "Foundation/FileDescriptor.h"
#include "Foundation/FileError.h"
#include "Foundation/Result.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace tarnwick {

// A file named by anything outside our control: another program's bundle, a user's folder, a
// path from the environment. Whoever named it may have put a FIFO, a terminal or a device there,
// or a symlink to one, and may swap it while we look. Opening it here never blocks, never makes a
// terminal ours, and gives a regular file of at most the size asked for, or the reason it did not.
// What is checked is the opened descriptor, so a swap after the check changes nothing.
class OutsideFile {
public:
    // The open descriptor (blocking again, since a regular file never blocks) and what fstat said
    // of it.
    struct Opened {
        FileDescriptor descriptor;
        struct stat status {};
    };

    static Result<Opened, FileError> open(const std::filesystem::path& path,
                                          std::uint64_t maximumBytes);
    // For appending (and reading back), created with `mode` when missing; any size.
    static Result<Opened, FileError> openForAppending(const std::filesystem::path& path,
                                                      mode_t mode);
    // The whole file. Reading stops one byte past the limit, so a file that grows after it was
    // opened is refused as well.
    static Result<std::string, FileError> read(const std::filesystem::path& path,
                                               std::uint64_t maximumBytes);
    // The file `name` in the open folder `directory`, as `read` gives it, but not followed when
    // it is a symbolic link: with a folder reached through a PinnedDirectory, root reads only what
    // is really there, whatever the folder's owner links in.
    static Result<std::string, FileError> readIn(int directory, const std::string& name,
                                                 std::uint64_t maximumBytes);
};

}  // namespace tarnwick
