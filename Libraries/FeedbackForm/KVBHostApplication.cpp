#include "KVBHostApplication.h"

#include "Foundation/Bundle.h"

#include <system_error>

namespace tarnwick {

const KVBHostApplication& KVBHostApplication::sharedInstance() {
    static const auto* instance = new KVBHostApplication(Bundle::main());
    return *instance;
}

KVBHostApplication::KVBHostApplication(const Bundle& bundle)
    : m_path(bundle.bundlePath().string()), m_bundleID(bundle.bundleIdentifier().value_or("")) {
    if (auto name = bundle.stringForInfoDictionaryKey("CFBundleName")) {
        m_name = *name;
    } else {
        auto folder = bundle.bundlePath();
        if (!folder.has_filename()) {
            folder = folder.parent_path();
        }
        m_name = folder.stem().string();
    }
    if (auto icon = bundle.stringForInfoDictionaryKey("CFBundleIconFile")) {
        std::error_code error;
        for (const auto& candidate :
             {bundle.resourcePath() / (*icon + ".icns"), bundle.resourcePath() / *icon}) {
            if (std::filesystem::is_regular_file(candidate, error)) {
                m_iconFile = candidate;
                break;
            }
        }
    }
}

}  // namespace tarnwick
