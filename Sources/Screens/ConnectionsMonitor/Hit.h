#pragma once

#include "Combine/Published.h"
#include "Dispatch/DispatchQueue.h"
#include "Foundation/UUID.h"
#include "Screens/Presenters/InterfacePresenters.h"
#include "Tools/UndesirableCountriesManagerType.h"
#include "Tools/WhoIs.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

class Application;

// What a hit needs from around it: its geo-IP client, the target countries, the notification
// service and the reverse name lookup. One is shared by all hits of a model.
struct HitEnvironment {
    std::shared_ptr<const WhoIs> whois;
    const UndesirableCountriesManagerType* undesirableCountries = nullptr;
    std::shared_ptr<UserNotificationCenter> notifications;
    // Blocking; runs on the hit's own queue.
    std::function<std::optional<std::string>(const std::string&)> reverseLookup;
    // The display name of a region code in the current locale.
    std::function<std::optional<std::string>(const std::string&)> countryName;
    // Main queue: after a hit became a warning, and after it posted its access notification.
    std::function<void()> didMarkWarning;
    std::function<void()> didPostAccessNotification;
};

// One server that a monitored application reached. After it is listed it finds its host name
// (when the flow had none), its country and position, marks itself and its application as a
// warning when the country is a target country and, for an allowed connection there, posts a
// notification. Fields change on the main queue only. Made with std::make_shared.
class Hit : public std::enable_shared_from_this<Hit> {
public:
    Hit(std::string remoteAddress, const std::string& url, const std::optional<std::string>& host,
        bool isAllowed, std::shared_ptr<const HitEnvironment> environment);

    const UUID& id() const { return m_id; }
    const std::string& remoteAddress() const { return m_remoteAddress; }
    const std::string& url() const { return m_url; }
    const std::optional<std::string>& reversedDomain() const { return m_reversedDomain; }
    bool isReversedDomain() const { return m_isReversedDomain; }
    // The reverse name when one was found, else `url`.
    const std::string& representedURL() const {
        return m_reversedDomain ? *m_reversedDomain : m_url;
    }
    int count() const { return m_count; }
    bool isAllowed() const { return m_isAllowed; }
    bool isGeoAvailable() const { return m_isGeoAvailable; }
    bool isWarning() const { return m_isWarning; }
    const std::string& countryCode2() const { return m_countryCode2; }
    const std::string& countryName() const { return m_countryName; }
    const std::optional<WhoIs::Response::Coordinates>& coordinates() const { return m_coordinates; }
    // The flag image's name: the upper-case code, for an answer with a country.
    const std::optional<std::string>& image() const { return m_image; }
    std::shared_ptr<Application> application() const { return m_application.lock(); }
    void setApplication(std::weak_ptr<Application> application) {
        m_application = std::move(application);
    }

    // A repeat of a known server: one more flow, with the newest verdict.
    void countRepeat(bool isAllowed);
    void startLookups();
    void handleWhoisResult(const std::optional<WhoIs::Response>& response);

    // Sent after each change of a field the list shows (count, verdict, host name, country).
    Published<int> revision{0};

    // Outline members, so hits and applications stand in the same columns: a hit is a leaf named
    // by its address, with its URL in the identifier column.
    static constexpr bool isLeaf = true;
    const std::string& localizedName() const { return m_remoteAddress; }
    const std::string& bundleIdentifier() const { return m_url; }
    std::string filterName() const { return m_remoteAddress + m_url; }
    int hitsCount() const { return 0; }
    std::vector<std::shared_ptr<Hit>> children() const { return {}; }

    static constexpr const char* kEmptyURL = "Empty URL";
    // What a hit shows for its server: the URL, else the host name, else "Empty URL".
    static std::string displayURL(const std::string& url, const std::optional<std::string>& host);

private:
    void resolveReverseDomain();
    void setReversedDomain(const std::string& name);
    void postAccessNotification(const WhoIs::Response& response, const std::string& code);

    const std::shared_ptr<const HitEnvironment> m_environment;
    const UUID m_id;
    const std::string m_remoteAddress;
    const std::string m_url;
    std::optional<std::string> m_reversedDomain;
    bool m_isReversedDomain = false;
    int m_count = 1;
    std::weak_ptr<Application> m_application;
    std::optional<WhoIs::Response::Coordinates> m_coordinates;
    bool m_isAllowed;
    bool m_isGeoAvailable = false;
    std::string m_countryCode2;
    std::string m_countryName;
    std::optional<std::string> m_image;
    bool m_isWarning = false;
    const std::shared_ptr<DispatchQueue> m_internalQueue;
};

}  // namespace tarnwick
