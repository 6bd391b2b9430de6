#pragma once

#include "AppStoreLookupResult.h"
#include "Foundation/NotificationCenter.h"
#include "Foundation/Result.h"
#include "Network/HTTPSession.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Asks the public application store about every scanned application at once: one form POST to
// "/lookup" with "entity=macSoftware" and all bundle identifiers joined by ",". A lookup that fails
// for a real lack of network (see isLackOfNetwork) posts "failedToFetchAppStoreNoNetwork" once;
// failures are passed on, never turned into an empty list here. Without a lookup service
// configured nothing is asked and nothing is posted.
class AppStoreInfoProvider {
public:
    struct LookupError {
        enum class Code {
            notConfigured,   // no lookup service is configured: the stage is skipped
            invalidRequest,  // no request could be made
            noNetwork,       // time-out or no connection
            transport,       // any other failure on the way
            decoding,        // the body is not a valid answer
        };
        Code code = Code::transport;
        std::string message;
    };
    using Completion = std::function<void(
        Result<std::vector<AppStoreLookupResult::StoreApplication>, LookupError>)>;

    static constexpr std::string_view noNetworkNotification = "failedToFetchAppStoreNoNetwork";
    // A deployment value (the build's TARNWICK_STORE_LOOKUP_SERVICE): the public store's lookup
    // service, "https://host/"; empty while none is configured.
    static constexpr std::string_view defaultLookupService = TARNWICK_STORE_LOOKUP_SERVICE;

    // `lookupService` is the base URL ("https://host/") that serves "lookup", or empty for none.
    // `isPathSatisfied` is the connectivity watch asked when a host name did not resolve; none:
    // the system's routes.
    AppStoreInfoProvider(std::shared_ptr<HTTPSession> session,
                         NotificationCenter& notificationCenter,
                         std::string lookupService = std::string(defaultLookupService),
                         std::function<bool()> isPathSatisfied = {});

    // Calls `completion` once, on the session's queue (at once when no request can be made).
    void fetchApplications(const std::vector<std::string>& bundleIds, Completion completion) const;

    std::optional<HTTPRequest> makeLookupRequest(const std::vector<std::string>& bundleIds) const;

    // Each field as its encoded name, "=" and its encoded value, in the map's order.
    static std::vector<std::string> formEncoded(const std::map<std::string, std::string>& fields);
    // Percent-encodes UTF-8 bytes, leaving only ASCII letters, digits and "-._~/?".
    static std::string percentEncodedQueryValue(std::string_view text);

    // Posts the no-network notice on `notificationCenter` for a real lack of network.
    static LookupError mapLookupError(const HTTPError& error,
                                      NotificationCenter& notificationCenter,
                                      const std::function<bool()>& isPathSatisfied);

private:
    std::shared_ptr<HTTPSession> m_session;
    NotificationCenter& m_notificationCenter;
    std::string m_lookupService;
    std::function<bool()> m_isPathSatisfied;
};

}  // namespace tarnwick
