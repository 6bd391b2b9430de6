#pragma once

#include "DesktopApplicationsFinder.h"
#include "Dispatch/DispatchQueue.h"
#include "LocalApplication.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace tarnwick {

// Lists the application bundles at the top level of folders, one folder after the other, on its
// own serial queue. It filters nothing but what is not an application: the workflow decides which
// applications count.
class LocalApplicationsScanner {
public:
    struct ScanLocation {
        // The last two are the desktop's own applications: its desktop entries, and the
        // AppImages in the user's folders.
        enum class Kind {
            custom,
            rootApplicationsFolder,
            userDownloadsFolder,
            desktopApplications,
            appImages
        };
        Kind kind = Kind::rootApplicationsFolder;
        std::filesystem::path customURL;

        static ScanLocation custom(std::filesystem::path url) {
            return {Kind::custom, std::move(url)};
        }
        static ScanLocation rootApplicationsFolder() { return {Kind::rootApplicationsFolder, {}}; }
        static ScanLocation userDownloadsFolder() { return {Kind::userDownloadsFolder, {}}; }
        static ScanLocation desktopApplications() { return {Kind::desktopApplications, {}}; }
        static ScanLocation appImages() { return {Kind::appImages, {}}; }
    };

    // Where the two standard locations are: "/Applications/" and "~/Downloads/".
    struct Folders {
        std::filesystem::path applications = "/Applications/";
        std::filesystem::path downloads;
        // Where the desktop's applications are; nothing when left empty.
        DesktopApplicationsFinder::Folders desktop = {};

        static Folders standard();
    };

    using Applications = std::vector<std::shared_ptr<LocalApplication>>;
    using Completion = std::function<void(Applications)>;

    LocalApplicationsScanner();
    // Standard locations elsewhere. Used for testing only
    explicit LocalApplicationsScanner(Folders folders);

    // Calls `completion` once, on `internalQueue`, with the applications of every location in
    // order; a location that cannot be listed adds nothing.
    void scan(std::vector<ScanLocation> locations, Completion completion) const;

    // The bundles directly inside the location's folder, by name; hidden entries, sub-folders'
    // contents and bundles without an identifier are left out, and an entry that cannot be read
    // is skipped alone.
    Applications applications(const ScanLocation& location) const;
    std::filesystem::path url(const ScanLocation& location) const;

    const std::shared_ptr<DispatchQueue>& internalQueue() const { return m_internalQueue; }

    // A folder whose name ends in ".app" and that holds a "Contents" folder.
    static bool isApplicationBundle(const std::filesystem::path& path);

private:
    Folders m_folders;
    std::shared_ptr<DispatchQueue> m_internalQueue;
};

}  // namespace tarnwick
