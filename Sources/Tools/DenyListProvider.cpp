#include "DenyListProvider.h"

#include "Logging/LogHub.h"
#include "Network/NetlinkPathSource.h"

#include <algorithm>

namespace tarnwick {

DenyListProvider::Entry DenyListProvider::Entry::fromJSON(const nlohmann::json& object,
                                                          const JSONCoding::CodingPath& path) {
    JSONCoding::requireObject(object, path);
    Entry entry;
    entry.bundleIdSubstring =
        JSONCoding::string(JSONCoding::member(object, "bundleIdSubstring", path),
                           JSONCoding::appending(path, "bundleIdSubstring"));
    entry.reason = JSONCoding::string(JSONCoding::member(object, "reason", path),
                                      JSONCoding::appending(path, "reason"));
    entry.humanReadableDescription =
        JSONCoding::optionalString(object, "humanReadableDescription", path);
    entry.webLink = JSONCoding::optionalString(object, "webLink", path);
    return entry;
}

DenyListProvider::Database DenyListProvider::Database::decode(std::string_view body) {
    const auto document = JSONCoding::parse(body);
    const auto& elements = JSONCoding::array(document, {});
    Database database;
    for (std::size_t index = 0; index < elements.size(); ++index) {
        database.entries.push_back(Entry::fromJSON(elements[index], {std::to_string(index)}));
    }
    return database;
}

DenyListProvider::DenyListProvider(std::shared_ptr<HTTPSession> session,
                                   const UndesirableCountriesManagerType& countries,
                                   std::string webHost, std::function<bool()> isPathSatisfied)
    : m_session(std::move(session))
    , m_countries(countries)
    , m_webHost(std::move(webHost))
    , m_isPathSatisfied(std::move(isPathSatisfied)) {
    if (!m_isPathSatisfied) {
        m_isPathSatisfied = [] {
            return NetlinkPathSource::readCurrentPath().status == NetworkPath::Status::satisfied;
        };
    }
}

void DenyListProvider::fetchEntries(Completion completion) const {
    const auto countries = m_countries.currentUndesirableCountries();
    if (std::find(countries.begin(), countries.end(), Country::russia()) == countries.end()) {
        completion(Database{});
        return;
    }
    const bool validHost =
        (m_webHost.rfind("https://", 0) == 0 || m_webHost.rfind("http://", 0) == 0) &&
        m_webHost.back() == '/';
    if (!validHost) {
        completion(tarnwick::Failure{Failure::invalidDatabaseURL});
        return;
    }
    HTTPRequest request;
    request.url = m_webHost + std::string(databasePath);
    const auto failed = [](const std::string& description) {
        LogHub::info("Failed to fetch deny list with error: " + description);
    };
    m_session->send(request, [completion = std::move(completion), failed,
                              isPathSatisfied = m_isPathSatisfied](HTTPResult result) {
        if (!result.succeeded()) {
            failed(result.error()->message);
            if (isLackOfNetwork(result.error()->code, isPathSatisfied)) {
                completion(tarnwick::Failure{Failure::noNetwork});
            } else {
                completion(Database{});
            }
            return;
        }
        // The status code is not looked at: an error page is a body that does not decode.
        try {
            completion(Database::decode(result.response()->body));
        } catch (const DecodingError& error) {
            failed(error.debugDescription());
            completion(Database{});
        }
    });
}

}  // namespace tarnwick
