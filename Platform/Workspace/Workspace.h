#pragma once

#include "IconFamily.h"
#include "RunningApplication.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
        // Where application bundles ("X.app") are looked for by bundle identifier, the first
        // folder first: /Applications, ~/Applications and ~/Downloads.
        std::vector<std::filesystem::path> applicationDirectories;

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

    // The first bundle of the application folders whose Info.plist names this identifier; not
    // necessarily the copy a caller has in hand.
    std::optional<std::filesystem::path> urlForApplication(std::string_view bundleIdentifier) const;
    // The icon of a bundle: the largest PNG rendition of the icon file its Info.plist names
    // (CFBundleIconFile, ".icns" added when it has no extension). Nothing for a bundle without
    // one, or whose icon file is unreadable or malformed.
    std::optional<IconImage> iconForFile(const std::filesystem::path& bundlePath) const;

private:
    struct DesktopIndex;
    std::shared_ptr<const DesktopIndex> desktopIndex() const;

    Configuration m_configuration;
    struct Cache;
    std::unique_ptr<Cache> m_cache;
};

}  // namespace tarnwick
