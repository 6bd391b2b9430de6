#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tarnwick {

// Whole-file reads and writes. A write goes to a temporary file beside the target, is flushed to
// the device and renamed over the target, so readers see the old or the new contents, never half.
class AtomicFile {
public:
    static std::optional<std::string> read(const std::filesystem::path& file);
    // Creates missing parent folders. Returns an error description on failure.
    static std::optional<std::string> write(const std::filesystem::path& file,
                                            std::string_view contents, mode_t mode = 0600);
    // Copies `contents` to a new side file "<file>.corrupt" (or ".corrupt-2", ...), never over an
    // earlier one; a side file that already holds these bytes is reused. Returns its path.
    static std::optional<std::filesystem::path> keepAside(const std::filesystem::path& file,
                                                          std::string_view contents);
};

}  // namespace tarnwick
