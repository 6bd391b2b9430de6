#pragma once

#include "Foundation/FileError.h"
#include "Foundation/Result.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tarnwick {

// Whole-file reads and writes. A write goes to a temporary file beside the target, is flushed to
// the device and renamed over the target, so readers see the old or the new contents, never half.
class AtomicFile {
public:
    // Settings, logs and state files are the user's to edit or replace, so they are read as any
    // outside file is (see OutsideFile): a regular file of at most `maximumBytes`.
    static constexpr std::uint64_t kMaximumReadBytes = std::uint64_t{64} << 20;
    static Result<std::string, FileError> read(const std::filesystem::path& file,
                                               std::uint64_t maximumBytes = kMaximumReadBytes);
    // Creates missing parent folders.
    static Result<void, FileError> write(const std::filesystem::path& file,
                                         std::string_view contents, mode_t mode = 0600);
    // A write killed halfway leaves its temporary file. Removes those beside `file`: regular files
    // of this user named exactly as write names them, untouched for `age` (a write under way
    // takes far less). Anything else is left alone.
    static constexpr std::chrono::seconds kStaleAge{60};
    static void removeStaleTemporaryFiles(const std::filesystem::path& file,
                                          std::chrono::seconds age = kStaleAge);
    // Copies `contents` to a new side file "<file>.corrupt" (or ".corrupt-2", ...), never over an
    // earlier one; a side file that already holds these bytes is reused. Gives its path.
    static Result<std::filesystem::path, FileError> keepAside(const std::filesystem::path& file,
                                                              std::string_view contents);
};

}  // namespace tarnwick
