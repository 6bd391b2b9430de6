#include "PUApplication.h"

#include "URLText.h"
#include "Workspace/Workspace.h"

namespace tarnwick {

PUApplication::PUApplication(std::string name, std::optional<std::filesystem::path> bundleURL,
                             std::string bundleId, std::optional<std::string> webURL,
                             std::vector<DetectionReason> reasons,
                             std::optional<std::string> additionalInfo,
                             std::optional<std::string> additionalInfoWebURL,
                             const IconLookup& iconLookup)
    : m_name(std::move(name))
    , m_bundleURL(std::move(bundleURL))
    , m_bundleId(std::move(bundleId))
    , m_webURL(std::move(webURL))
    , m_id(UUID::random())
    , m_icon(iconLookup ? iconLookup(m_bundleId) : std::nullopt)
    , m_reasons(std::move(reasons))
    , m_additionalInfo(std::move(additionalInfo))
    , m_additionalInfoWebURL(std::move(additionalInfoWebURL)) {
    for (const auto& reason : m_reasons) {
        m_reasonViewModels.emplace_back(reason);
    }
}

PUApplication::IconLookup PUApplication::workspaceIconLookup(const Workspace& workspace) {
    return [&workspace](const std::string& bundleId) -> std::optional<IconImage> {
        const auto bundle = workspace.urlForApplication(bundleId);
        if (!bundle) {
            return std::nullopt;
        }
        return workspace.iconForFile(*bundle);
    };
}

std::optional<std::string> PUApplication::webRawURL() const {
    if (!m_webURL || !isURLText(*m_webURL)) {
        return std::nullopt;
    }
    return m_webURL;
}

}  // namespace tarnwick
