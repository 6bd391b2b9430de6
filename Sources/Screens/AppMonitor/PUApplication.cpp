#include "PUApplication.h"

#include "URLText.h"

namespace tarnwick {

PUApplication::PUApplication(std::string name, std::optional<std::filesystem::path> bundleURL,
                             std::string bundleId, std::optional<std::string> webURL,
                             std::vector<DetectionReason> reasons,
                             std::optional<std::string> additionalInfo,
                             std::optional<std::string> additionalInfoWebURL)
    : m_name(std::move(name))
    , m_bundleURL(std::move(bundleURL))
    , m_bundleId(std::move(bundleId))
    , m_webURL(std::move(webURL))
    , m_id(UUID::random())
    , m_reasons(std::move(reasons))
    , m_additionalInfo(std::move(additionalInfo))
    , m_additionalInfoWebURL(std::move(additionalInfoWebURL)) {
    for (const auto& reason : m_reasons) {
        m_reasonViewModels.emplace_back(reason);
    }
}

std::optional<std::string> PUApplication::webRawURL() const {
    if (!m_webURL || !isURLText(*m_webURL)) {
        return std::nullopt;
    }
    return m_webURL;
}

}  // namespace tarnwick
