#include "LocalApplicationsScanner.h"

#include "LocalApplicationImpl.h"
#include "Tools/BundleUtilities.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace tarnwick {

LocalApplicationsScanner::Folders LocalApplicationsScanner::Folders::standard() {
    Folders folders;
    const char* home = std::getenv("HOME");
    folders.downloads = std::filesystem::path(home != nullptr ? home : "") / "Downloads/";
    folders.desktop = DesktopApplicationsFinder::Folders::standard();
    return folders;
}

LocalApplicationsScanner::LocalApplicationsScanner()
    : LocalApplicationsScanner(Folders::standard()) {}

LocalApplicationsScanner::LocalApplicationsScanner(Folders folders)
    : m_folders(std::move(folders))
    , m_internalQueue(DispatchQueue::create(bundleQualifiedLabel("app-scanner"),
                                            QualityOfService::unspecified)) {}

void LocalApplicationsScanner::scan(std::vector<ScanLocation> locations,
                                    Completion completion) const {
    // The queue keeps what the block needs; the scanner may go while it runs.
    m_internalQueue->async([folders = m_folders, locations = std::move(locations),
                            completion = std::move(completion)] {
        const LocalApplicationsScanner scanner(folders);
        Applications all;
        for (const auto& location : locations) {
            auto found = scanner.applications(location);
            all.insert(all.end(), found.begin(), found.end());
        }
        completion(std::move(all));
    });
}

std::filesystem::path LocalApplicationsScanner::url(const ScanLocation& location) const {
    switch (location.kind) {
        case ScanLocation::Kind::custom:
            return location.customURL;
        case ScanLocation::Kind::rootApplicationsFolder:
            return m_folders.applications;
        case ScanLocation::Kind::userDownloadsFolder:
            return m_folders.downloads;
        case ScanLocation::Kind::desktopApplications:
        case ScanLocation::Kind::appImages:
            break;  // many folders, not one
    }
    return {};
}

bool LocalApplicationsScanner::isApplicationBundle(const std::filesystem::path& path) {
    std::error_code error;
    return path.extension() == ".app" && std::filesystem::is_directory(path, error) &&
           std::filesystem::is_directory(path / "Contents", error);
}

LocalApplicationsScanner::Applications LocalApplicationsScanner::applications(
    const ScanLocation& location) const {
    if (location.kind == ScanLocation::Kind::desktopApplications) {
        return DesktopApplicationsFinder(m_folders.desktop).desktopApplications();
    }
    if (location.kind == ScanLocation::Kind::appImages) {
        return DesktopApplicationsFinder(m_folders.desktop).appImages();
    }
    std::vector<std::filesystem::path> bundles;
    std::error_code error;
    std::filesystem::directory_iterator entries(url(location), error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const auto& path = entries->path();
        const auto name = path.filename().string();
        if (name.empty() || name.front() == '.') {
            continue;
        }
        if (isApplicationBundle(path)) {
            bundles.push_back(path);
        }
    }
    std::sort(bundles.begin(), bundles.end());
    Applications found;
    for (const auto& bundle : bundles) {
        if (auto application = LocalApplicationImpl::make(bundle)) {
            found.push_back(std::move(application));
        }
    }
    return found;
}

}  // namespace tarnwick
