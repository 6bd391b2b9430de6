#include "AppStoreInfoProvider.h"

#include "Network/NetlinkPathSource.h"

#include <cctype>

namespace tarnwick {

AppStoreInfoProvider::AppStoreInfoProvider(std::shared_ptr<HTTPSession> session,
                                           NotificationCenter& notificationCenter,
                                           std::string lookupService,
                                           std::function<bool()> isPathSatisfied)
    : m_session(std::move(session))
    , m_notificationCenter(notificationCenter)
    , m_lookupService(std::move(lookupService))
    , m_isPathSatisfied(std::move(isPathSatisfied)) {
    if (!m_isPathSatisfied) {
        m_isPathSatisfied = [] {
            return NetlinkPathSource::readCurrentPath().status == NetworkPath::Status::satisfied;
        };
    }
}

std::string AppStoreInfoProvider::percentEncodedQueryValue(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool kept = (byte < 0x80 && std::isalnum(byte)) || c == '-' || c == '.' || c == '_' ||
                          c == '~' || c == '/' || c == '?';
        if (kept) {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[byte >> 4]);
            encoded.push_back(hex[byte & 0xf]);
        }
    }
    return encoded;
}

std::vector<std::string> AppStoreInfoProvider::formEncoded(
    const std::map<std::string, std::string>& fields) {
    std::vector<std::string> encoded;
    for (const auto& [name, value] : fields) {
        encoded.push_back(percentEncodedQueryValue(name) + "=" + percentEncodedQueryValue(value));
    }
    return encoded;
}

std::optional<HTTPRequest> AppStoreInfoProvider::makeLookupRequest(
    const std::vector<std::string>& bundleIds) const {
    const bool validService =
        (m_lookupService.rfind("https://", 0) == 0 || m_lookupService.rfind("http://", 0) == 0) &&
        m_lookupService.back() == '/';
    if (!validService) {
        return std::nullopt;
    }
    std::string joined;
    for (std::size_t index = 0; index < bundleIds.size(); ++index) {
        joined += (index == 0 ? "" : ",") + bundleIds[index];
    }
    std::string body;
    for (const auto& field : formEncoded({{"entity", "macSoftware"}, {"bundleId", joined}})) {
        if (!body.empty()) {
            body += '&';
        }
        body += field;
    }
    HTTPRequest request;
    request.url = m_lookupService + "lookup";
    request.method = HTTPRequest::Method::post;
    request.body = std::move(body);
    request.timeout = std::chrono::seconds(60);
    return request;
}

AppStoreInfoProvider::LookupError AppStoreInfoProvider::mapLookupError(
    const HTTPError& error, NotificationCenter& notificationCenter,
    const std::function<bool()>& isPathSatisfied) {
    if (isLackOfNetwork(error.code, isPathSatisfied)) {
        notificationCenter.post(std::string(noNetworkNotification));
        return LookupError{LookupError::Code::noNetwork, error.message};
    }
    return LookupError{LookupError::Code::transport, error.message};
}

void AppStoreInfoProvider::fetchApplications(const std::vector<std::string>& bundleIds,
                                             Completion completion) const {
    if (m_lookupService.empty()) {
        completion(Failure{LookupError{LookupError::Code::notConfigured, "no lookup service"}});
        return;
    }
    auto request = makeLookupRequest(bundleIds);
    if (!request) {
        completion(Failure{LookupError{LookupError::Code::invalidRequest, "no lookup URL"}});
        return;
    }
    // The provider may go before the answer comes: the notice goes to the center it was given,
    // which outlives every provider.
    auto* center = &m_notificationCenter;
    m_session->send(*request, [center, isPathSatisfied = m_isPathSatisfied,
                               completion = std::move(completion)](HTTPResult result) {
        if (!result.succeeded()) {
            completion(Failure{mapLookupError(*result.error(), *center, isPathSatisfied)});
            return;
        }
        try {
            auto answer = AppStoreLookupResult::decode(result.response()->body);
            completion(std::move(answer.applications));
        } catch (const DecodingError& error) {
            completion(Failure{LookupError{LookupError::Code::decoding, error.debugDescription()}});
        }
    });
}

}  // namespace tarnwick
