#include "BundleUtilities.h"

namespace tarnwick {

bool isBeta(const Bundle& bundle) { return bundle.stringForInfoDictionaryKey("IsBeta") == "YES"; }

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

}  // namespace tarnwick
