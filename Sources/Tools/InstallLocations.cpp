#include "InstallLocations.h"

#include <cstdlib>

namespace tarnwick {

namespace fs = std::filesystem;

namespace {

std::size_t entryCount(const fs::path& directory) {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        ++count;
    }
    return count;
}

bool isInside(const fs::path& path, const fs::path& directory) {
    const fs::path folder = directory.lexically_normal();
    if (folder.empty()) {
        return false;
    }
    auto inner = path.begin();
    for (auto part = folder.begin(); part != folder.end(); ++part, ++inner) {
        // "a/b/" ends in an empty part, which any further component matches.
        if (part->empty()) {
            break;
        }
        if (inner == path.end() || *inner != *part) {
            return false;
        }
    }
    return true;
}

}  // namespace

InstallLocations InstallLocations::standard() {
    InstallLocations locations;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        locations.applicationDirectories.push_back(fs::path(home) / "Applications");
    }
    locations.applicationDirectories.emplace_back("/Applications");
    locations.packageDirectories = {"/usr/lib/tarnwick", "/usr/local/lib/tarnwick"};
    return locations;
}

bool InstallLocations::isInPlace(const fs::path& bundle) const {
    // As named and as resolved: a folder reached through a link is the same folder.
    std::error_code error;
    const fs::path named = bundle.lexically_normal();
    const fs::path resolved = fs::weakly_canonical(bundle, error);
    for (const auto* directories : {&applicationDirectories, &packageDirectories}) {
        for (const fs::path& directory : *directories) {
            const fs::path resolvedDirectory = fs::weakly_canonical(directory, error);
            if (isInside(named, directory) || isInside(resolved, resolvedDirectory)) {
                return true;
            }
        }
    }
    for (const fs::path& component : named) {
        if (component == "Applications") {
            return true;
        }
    }
    return false;
}

std::optional<fs::path> InstallLocations::applicationsFolder() const {
    std::optional<fs::path> chosen;
    std::size_t chosenCount = 0;
    for (const fs::path& directory : applicationDirectories) {
        std::error_code error;
        const fs::path resolved = fs::canonical(directory, error);
        if (error || !fs::is_directory(resolved, error) || resolved == "/System/Applications") {
            continue;
        }
        const std::size_t count = entryCount(resolved);
        if (!chosen || count > chosenCount) {
            chosen = resolved;
            chosenCount = count;
        }
    }
    return chosen;
}

}  // namespace tarnwick
