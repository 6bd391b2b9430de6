#include "DesktopApplication.h"

#include "AppStream/AppStreamCatalog.h"
#include "URLText.h"

namespace tarnwick {

AppStoreLookupResult::StoreApplication DesktopApplication::storeRecord(
    const AppStreamComponent& component, const std::string& identifier) {
    AppStoreLookupResult::StoreApplication record;
    record.title = component.name;
    record.primaryGenreName = component.categories.empty() ? "" : component.categories.front();
    record.storeURL = "appstream://" + component.id;
    // The identifier the scan knows it by, so the store stage's merge finds it again.
    record.bundleID = identifier;
    if (!component.languages.empty()) {
        record.languageCodesISO2A = component.languages;
    }
    std::string description = component.summary;
    if (!component.description.empty()) {
        description += (description.empty() ? "" : "\n") + component.description;
    }
    if (!description.empty()) {
        record.description = std::move(description);
    }
    if (component.homepage && isURLText(*component.homepage)) {
        record.sellerUrl = component.homepage;
    }
    record.sellerName = component.developerName;
    record.artistName = component.developerName;
    return record;
}

std::shared_ptr<DesktopApplication> DesktopApplication::make(Fields fields,
                                                             const AppStreamComponent* component) {
    auto application = std::make_shared<DesktopApplication>();
    application->m_fields = std::move(fields);
    if (component != nullptr) {
        application->m_localizations = component->languages;
        if (component->developerName) {
            application->m_fields.copyright = component->developerName;
        }
        if (component->homepage && urlHost(*component->homepage)) {
            application->m_feedURL = component->homepage;
        }
        application->setAppStoreInfo(storeRecord(*component, application->m_fields.identifier));
    }
    return application;
}

}  // namespace tarnwick
