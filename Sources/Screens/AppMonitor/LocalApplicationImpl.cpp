#include "LocalApplicationImpl.h"

#include "Foundation/Bundle.h"
#include "URLText.h"

namespace tarnwick {

std::shared_ptr<LocalApplicationImpl> LocalApplicationImpl::make(
    const std::filesystem::path& bundleURL) {
    const Bundle bundle(bundleURL);
    auto identifier = bundle.bundleIdentifier();
    if (!identifier) {
        return nullptr;
    }
    auto application = std::make_shared<LocalApplicationImpl>();
    application->m_bundleURL = bundleURL;
    // "Foo.Bar.app" is titled "Foo.Bar": only the last extension goes.
    auto name = bundleURL.filename();
    if (name.empty()) {
        name = bundleURL.parent_path().filename();
    }
    application->m_title = name.stem().string();
    application->m_bundleID = std::move(*identifier);
    if (auto feed = bundle.stringForInfoDictionaryKey("SUFeedURL"); feed && isURLText(*feed)) {
        application->m_feedURL = std::move(*feed);
    }
    application->m_localizations = bundle.localizations();
    application->m_copyright = bundle.stringForInfoDictionaryKey("NSHumanReadableCopyright");
    return application;
}

}  // namespace tarnwick
