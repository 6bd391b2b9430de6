#pragma once

#include "RunningApplication.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

class DesktopEntry;

// The registry of running applications: every process whose executable we may read and that is
// an application, either because it runs from an "X.app" bundle with a bundle identifier or
// because a desktop entry starts its executable. Processes come from /proc, in process-id order.
class Workspace {
public:
    struct Configuration {
        std::filesystem::path processRoot = "/proc";
        // "applications" folders of the XDG data directories, the one that wins first.
        std::vector<std::filesystem::path> desktopEntryDirectories;
        // Where a desktop entry's program name is looked up (PATH).
        std::vector<std::filesystem::path> searchPath;
        // The POSIX locale whose translations of entry names are used.
        std::string messagesLocale;

        // What the process environment says: XDG_DATA_HOME, XDG_DATA_DIRS, PATH, LC_ALL,
        // LC_MESSAGES and LANG.
        static Configuration fromEnvironment();
    };

    explicit Workspace(Configuration configuration);
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    static Workspace& shared();

    std::vector<RunningApplication> runningApplications() const;

private:
    struct DesktopIndex;
    std::shared_ptr<const DesktopIndex> desktopIndex() const;

    Configuration m_configuration;
    struct Cache;
    std::unique_ptr<Cache> m_cache;
};

}  // namespace tarnwick
