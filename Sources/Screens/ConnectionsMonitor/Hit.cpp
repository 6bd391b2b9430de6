#include "Hit.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "Logging/LogHub.h"
#include "Screens/ConnectionsMonitor/Application.h"
#include "Tools/ReverseDomainsCache.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tarnwick {

namespace {

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string Hit::displayURL(const std::string& url, const std::optional<std::string>& host) {
    if (!url.empty()) {
        return url;
    }
    if (host && !host->empty()) {
        return *host;
    }
    return kEmptyURL;
}

Hit::Hit(std::string remoteAddress, const std::string& url, const std::optional<std::string>& host,
         bool isAllowed, std::shared_ptr<const HitEnvironment> environment)
    : m_environment(std::move(environment))
    , m_id(UUID::random())
    , m_remoteAddress(std::move(remoteAddress))
    , m_url(displayURL(url, host))
    , m_isAllowed(isAllowed)
    , m_internalQueue(DispatchQueue::create("Hit.internalQueue")) {
    if (m_url == kEmptyURL) {
        m_reversedDomain = ReverseDomainsCache::shared().hostName(m_remoteAddress);
    }
}

void Hit::countRepeat(bool isAllowed) {
    dispatchPreconditionOnMain();
    ++m_count;
    m_isAllowed = isAllowed;
    revision.set(revision.get() + 1);
}

void Hit::startLookups() {
    dispatchPreconditionOnMain();
    if (m_url == kEmptyURL && m_environment->reverseLookup) {
        m_internalQueue->async([self = shared_from_this()] { self->resolveReverseDomain(); });
    }
    if (!m_environment->whois) {
        return;
    }
    std::weak_ptr<Hit> weakSelf = weak_from_this();
    m_environment->whois->lookup(m_remoteAddress, std::nullopt,
                                 [weakSelf](std::optional<WhoIs::Response> response) {
                                     if (const auto self = weakSelf.lock()) {
                                         self->handleWhoisResult(response);
                                     }
                                 });
}

void Hit::resolveReverseDomain() {
    const auto name = m_environment->reverseLookup(m_remoteAddress);
    if (!name || name->empty()) {
        return;
    }
    ReverseDomainsCache::shared().setHostName(*name, m_remoteAddress);
    DispatchQueue::main()->async(
        [self = shared_from_this(), name = *name] { self->setReversedDomain(name); });
}

void Hit::setReversedDomain(const std::string& name) {
    dispatchPreconditionOnMain();
    m_reversedDomain = name;
    m_isReversedDomain = true;
    revision.set(revision.get() + 1);
}

void Hit::handleWhoisResult(const std::optional<WhoIs::Response>& response) {
    dispatchPreconditionOnMain();
    if (!response) {
        return;
    }
    m_isGeoAvailable = true;
    if (response->isLocal) {
        m_countryCode2 = "local";
        m_countryName = "local";
        revision.set(revision.get() + 1);
        return;
    }
    m_countryCode2 = response->country;
    const auto name =
        m_environment->countryName ? m_environment->countryName(response->country) : std::nullopt;
    m_countryName = name.value_or(response->country);
    m_coordinates = response->coordinates;
    std::string upper = response->country;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    m_image = upper;
    const std::string code = lowercased(response->country);
    bool isTarget = false;
    if (m_environment->undesirableCountries) {
        for (const auto& country :
             m_environment->undesirableCountries->currentUndesirableCountries()) {
            isTarget = isTarget || lowercased(country.countryCode()) == code;
        }
    }
    if (!isTarget) {
        revision.set(revision.get() + 1);
        return;
    }
    m_isWarning = true;
    if (const auto application = m_application.lock()) {
        application->setIsWarning(true);
    }
    revision.set(revision.get() + 1);
    if (m_environment->didMarkWarning) {
        m_environment->didMarkWarning();
    }
    if (m_isAllowed) {
        postAccessNotification(*response, code);
    }
}

void Hit::postAccessNotification(const WhoIs::Response& response, const std::string& code) {
    if (!m_environment->notifications) {
        return;
    }
    // The two known target countries have their adjective; any other is named by its localized
    // country name, so the text still says which country was reached.
    std::string adjective;
    if (code == "ru") {
        adjective = "russian";
    } else if (code == "by") {
        adjective = "belorussian";
    } else {
        adjective = m_countryName;
    }
    std::string titleWord = adjective;
    if (!titleWord.empty()) {
        titleWord[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(titleWord[0])));
    }
    const auto application = m_application.lock();
    const std::string name = application ? application->localizedName() : "Unknown Application";
    UserNotification notification;
    notification.identifier = UUID::random().uuidString();
    notification.title = titleWord + " server has been accessed";
    notification.subtitle = name + " accessed " + adjective + " server";
    notification.body = "Server IP: " + response.ip;
    notification.delaySeconds = 2.0;
    notification.playsDefaultSound = true;
    if (m_environment->didPostAccessNotification) {
        m_environment->didPostAccessNotification();
    }
    m_environment->notifications->add(notification, [](const std::optional<std::string>& error) {
        if (error) {
            LogHub::error("Error adding notification request: " + *error);
        }
    });
}

}  // namespace tarnwick
