#pragma once

#include "ApplicationOrigin.h"
#include "Foundation/UUID.h"
#include "ReasonViewModel.h"
#include "Tools/DetectionReason.h"
#include "Workspace/IconFamily.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

class Workspace;

// A potentially unwanted application found by a scan, with its reasons. Each instance is its own
// row: two with equal fields still differ by `id`, and equality is identity of `id`.
class PUApplication {
public:
    // The icon of the application with a bundle identifier, as the system finds it.
    using IconLookup = std::function<std::optional<IconImage>(const std::string& bundleId)>;

    // `iconLookup` is asked once, here; without one the application has no icon.
    PUApplication(std::string name, std::optional<std::filesystem::path> bundleURL,
                  std::string bundleId, std::optional<std::string> webURL,
                  std::vector<DetectionReason> reasons, std::optional<std::string> additionalInfo,
                  std::optional<std::string> additionalInfoWebURL,
                  const IconLookup& iconLookup = {});

    // Looks the identifier up in the workspace's application folders and takes that bundle's
    // icon: whichever copy the workspace finds first, not necessarily the scanned one.
    static IconLookup workspaceIconLookup(const Workspace& workspace);

    const std::string& name() const { return m_name; }
    const std::optional<std::filesystem::path>& bundleURL() const { return m_bundleURL; }
    // How the application is removed; a bundle at `bundleURL` unless the scan said otherwise.
    const std::optional<ApplicationOrigin>& origin() const { return m_origin; }
    void setOrigin(ApplicationOrigin origin) { m_origin = std::move(origin); }
    const std::string& bundleId() const { return m_bundleId; }
    const std::optional<std::string>& webURL() const { return m_webURL; }
    const UUID& id() const { return m_id; }
    const std::optional<IconImage>& icon() const { return m_icon; }
    void setIcon(std::optional<IconImage> icon) { m_icon = std::move(icon); }
    const std::vector<DetectionReason>& reasons() const { return m_reasons; }
    const std::vector<ReasonViewModel>& reasonViewModels() const { return m_reasonViewModels; }
    const std::optional<std::string>& additionalInfo() const { return m_additionalInfo; }
    const std::optional<std::string>& additionalInfoWebURL() const {
        return m_additionalInfoWebURL;
    }

    // name immediately followed by the bundle identifier: what the list's filter matches.
    std::string filterName() const { return m_name + m_bundleId; }
    // The web address when it reads as a URL (a bare host stays a relative reference).
    std::optional<std::string> webRawURL() const;
    bool isAdditionalInfoAvailable() const { return m_additionalInfo.has_value(); }
    bool isAdditionalInfoWebURLAvailable() const { return m_additionalInfoWebURL.has_value(); }
    // name + " (" + bundleId + ")"
    std::string logDescription() const { return m_name + " (" + m_bundleId + ")"; }

    bool operator==(const PUApplication& other) const { return m_id == other.m_id; }

private:
    std::string m_name;
    std::optional<std::filesystem::path> m_bundleURL;
    std::optional<ApplicationOrigin> m_origin;
    std::string m_bundleId;
    std::optional<std::string> m_webURL;
    UUID m_id;
    std::optional<IconImage> m_icon;
    std::vector<DetectionReason> m_reasons;
    std::vector<ReasonViewModel> m_reasonViewModels;
    std::optional<std::string> m_additionalInfo;
    std::optional<std::string> m_additionalInfoWebURL;
};

}  // namespace tarnwick
