#pragma once

#include "AppStoreLookupResult.h"
#include "ApplicationOrigin.h"
#include "Tools/DomainInfo.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// One installed application as the scan stages see it. The scan makes it from the bundle; the
// store and server stages then fill in what they learnt, one stage after the other (never at the
// same time), so no lock guards the two enrichable fields.
class LocalApplication {
public:
    virtual ~LocalApplication() = default;

    virtual const std::filesystem::path& bundleURL() const = 0;
    virtual const std::string& bundleID() const = 0;
    virtual const std::filesystem::path& imageURL() const = 0;
    virtual const std::string& title() const = 0;
    // "SUFeedURL" when it is an absolute URL.
    virtual const std::optional<std::string>& feedURL() const = 0;
    virtual const std::vector<std::string>& localizations() const = 0;
    virtual const std::optional<std::string>& copyrightString() const = 0;

    // The same for every kind of application: what the later stages learnt.
    const std::optional<AppStoreLookupResult::StoreApplication>& appStoreInfo() const {
        return m_appStoreInfo;
    }
    void setAppStoreInfo(std::optional<AppStoreLookupResult::StoreApplication> info) {
        m_appStoreInfo = std::move(info);
    }
    const std::optional<DomainInfo>& domainInfo() const { return m_domainInfo; }
    void setDomainInfo(std::optional<DomainInfo> info) { m_domainInfo = std::move(info); }

    // What the executable readers are given: the bundle folder, whose Info.plist names the
    // executable, or the executable file itself; an empty path when there is none to read.
    virtual std::filesystem::path codeURL() const { return bundleURL(); }
    virtual bool mayCarryCodeSignature() const { return true; }
    virtual ApplicationOrigin origin() const {
        return {ApplicationOrigin::Kind::bundle, {}, false, bundleURL()};
    }

    // title + " (" + bundleID + ")", as the scan's log lines name an application.
    std::string logDescription() const { return title() + " (" + bundleID() + ")"; }

private:
    std::optional<AppStoreLookupResult::StoreApplication> m_appStoreInfo;
    std::optional<DomainInfo> m_domainInfo;
};

}  // namespace tarnwick
