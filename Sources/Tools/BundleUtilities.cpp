#include "BundleUtilities.h"

#include "Foundation/StandardDirectories.h"

#include <sstream>

namespace tarnwick {

bool isBeta(const Bundle& bundle) {
    return bundle.stringForInfoDictionaryKey("IsBeta") == "YES";
}

std::optional<std::string> versionText(const Bundle& bundle) {
    auto version = bundle.shortVersionString();
    if (version && isBeta(bundle)) {
        *version += "-beta";
    }
    return version;
}

std::optional<std::string> copyrightText(const Bundle& bundle) {
    return bundle.stringForInfoDictionaryKey("NSHumanReadableCopyright");
}

std::string bundleQualifiedLabel(std::string_view name) {
    return bundleQualifiedLabel(name, Bundle::main());
}

std::string bundleQualifiedLabel(std::string_view name, const Bundle& bundle) {
    if (auto identifier = bundle.bundleIdentifier()) {
        return *identifier + "." + std::string(name);
    }
    return std::string(name);
}

std::vector<std::string> applicationDirectories() {
    std::vector<std::string> directories;
    if (auto home = StandardDirectories().home()) {
        directories.push_back((*home / "Applications").string());
    }
    for (const char* directory :
         {"/Applications", "/Network/Applications", "/System/Applications"}) {
        directories.emplace_back(directory);
    }
    return directories;
}

bool isInApplicationsFolder(const Bundle& bundle) {
    return isInApplicationsFolder(bundle, applicationDirectories());
}

bool isInApplicationsFolder(const Bundle& bundle,
                            const std::vector<std::string>& applicationDirectories) {
    const std::string path = bundle.bundlePath().string();
    for (const auto& directory : applicationDirectories) {
        if (path.rfind(directory, 0) == 0) {
            return true;
        }
    }
    std::istringstream components(path);
    std::string component;
    while (std::getline(components, component, '/')) {
        if (component == "Applications") {
            return true;
        }
    }
    return false;
}

}  // namespace tarnwick
