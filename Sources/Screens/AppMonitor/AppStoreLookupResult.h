#pragma once

#include "Tools/JSONCoding.h"

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The store's answer to a lookup: {"resultCount": n, "results": [record, ...]}. Decoding is
// strict: a missing or mistyped required key anywhere fails the whole answer.
struct AppStoreLookupResult {
    struct StoreApplication {
        std::string title;             // "trackName"
        std::string imageURL;          // "artworkUrl512"
        std::string primaryGenreName;  // "primaryGenreName"
        std::vector<std::string> screenshotUrls;
        std::optional<std::vector<std::string>> ipadScreenshotUrls;
        std::string storeURL;  // "trackViewUrl"
        std::string bundleID;  // "bundleId"
        std::optional<std::vector<std::string>> languageCodesISO2A;
        std::optional<std::string> releaseNotes;
        std::optional<std::string> description;
        std::optional<std::string> sellerUrl;
        std::optional<std::string> sellerName;
        std::optional<std::string> artistName;

        // title + " (" + bundleID + ")"
        std::string shortDescription() const;

        // Throws DecodingError.
        static StoreApplication fromJSON(const nlohmann::json& object,
                                         const JSONCoding::CodingPath& path);
        nlohmann::ordered_json toJSON() const;
    };

    long long applicationsCount = 0;             // "resultCount"
    std::vector<StoreApplication> applications;  // "results"

    // Throws DecodingError, also for text that is not JSON.
    static AppStoreLookupResult decode(std::string_view body);
};

}  // namespace tarnwick
