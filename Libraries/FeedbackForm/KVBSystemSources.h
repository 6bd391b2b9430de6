#pragma once

#include "Foundation/Process.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tarnwick {

// Where the system profile reads the machine from. Tests point the folders at fixtures and replace
// the calls; `system()` reads the running machine.
struct KVBSystemSources {
    struct Uname {
        std::string sysname;
        std::string release;
        std::string machine;
    };

    std::filesystem::path procRoot = "/proc";
    std::filesystem::path sysRoot = "/sys";
    std::filesystem::path osReleaseFile = "/etc/os-release";
    std::function<std::optional<Uname>()> uname;
    // Bytes available to the user on the file system that holds the path.
    std::function<std::optional<std::uint64_t>(const std::filesystem::path&)> freeSpace;
    std::function<std::optional<std::string>(const std::string&)> environment;
    // Runs journalctl for the system console log.
    CommandRunner commandRunner;

    static KVBSystemSources system();
};

}  // namespace tarnwick
