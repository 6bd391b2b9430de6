#pragma once

#include "Foundation/Result.h"
#include "JSONCoding.h"
#include "Network/HTTPSession.h"
#include "UndesirableCountriesManagerType.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Downloads the deny list: rules that name applications by a substring of their bundle
// identifier, kept as a JSON array on the product's web host. It is fetched only while "RU" is a
// target country; every download or decoding failure is logged and gives an empty list, so a scan
// never stops here.
class DenyListProvider {
public:
    struct Entry {
        std::string bundleIdSubstring;
        std::string reason;
        std::optional<std::string> humanReadableDescription;
        std::optional<std::string> webLink;

        bool operator==(const Entry&) const = default;
        // Throws DecodingError: both texts required, the optional ones absent, null or text.
        static Entry fromJSON(const nlohmann::json& object, const JSONCoding::CodingPath& path);
    };

    struct Database {
        std::vector<Entry> entries;
        // Throws DecodingError; one bad element fails the whole document.
        static Database decode(std::string_view body);
    };

    enum class Failure {
        invalidDatabaseURL,
        noNetwork,  // the download failed for a real lack of network (see isLackOfNetwork)
    };

    using Completion = std::function<void(Result<Database, Failure>)>;

    static constexpr std::string_view defaultWebHost = "https://www.brenlow-works.com/";
    static constexpr std::string_view databasePath = "application/macos-deny.json";

    // `webHost` is the base URL of the product's web host ("https://host/"). `isPathSatisfied` is
    // the connectivity watch asked when a host name did not resolve; none: the system's routes.
    DenyListProvider(std::shared_ptr<HTTPSession> session,
                     const UndesirableCountriesManagerType& countries,
                     std::string webHost = std::string(defaultWebHost),
                     std::function<bool()> isPathSatisfied = {});

    // Reads the target countries now, then calls `completion` once: at once with an empty list
    // when "RU" is not among them, else on the session's queue when the download ends. A download
    // that failed for lack of network is `noNetwork`, so that the scan can say it was offline;
    // any other failure is an empty list.
    void fetchEntries(Completion completion) const;

private:
    std::shared_ptr<HTTPSession> m_session;
    const UndesirableCountriesManagerType& m_countries;
    std::string m_webHost;
    std::function<bool()> m_isPathSatisfied;
};

}  // namespace tarnwick
