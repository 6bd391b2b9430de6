#include "AppStoreLookupResult.h"

namespace tarnwick {

namespace {

std::optional<std::vector<std::string>> optionalStrings(const nlohmann::json& object,
                                                        const std::string& key,
                                                        const JSONCoding::CodingPath& path) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return std::nullopt;
    }
    return JSONCoding::strings(*found, JSONCoding::appending(path, key));
}

std::string requiredString(const nlohmann::json& object, const std::string& key,
                           const JSONCoding::CodingPath& path) {
    return JSONCoding::string(JSONCoding::member(object, key, path),
                              JSONCoding::appending(path, key));
}

}  // namespace

std::string AppStoreLookupResult::StoreApplication::shortDescription() const {
    return title + " (" + bundleID + ")";
}

AppStoreLookupResult::StoreApplication AppStoreLookupResult::StoreApplication::fromJSON(
    const nlohmann::json& object, const JSONCoding::CodingPath& path) {
    JSONCoding::requireObject(object, path);
    StoreApplication record;
    record.title = requiredString(object, "trackName", path);
    record.imageURL = requiredString(object, "artworkUrl512", path);
    record.primaryGenreName = requiredString(object, "primaryGenreName", path);
    record.screenshotUrls = JSONCoding::strings(JSONCoding::member(object, "screenshotUrls", path),
                                                JSONCoding::appending(path, "screenshotUrls"));
    record.ipadScreenshotUrls = optionalStrings(object, "ipadScreenshotUrls", path);
    record.storeURL = requiredString(object, "trackViewUrl", path);
    record.bundleID = requiredString(object, "bundleId", path);
    record.languageCodesISO2A = optionalStrings(object, "languageCodesISO2A", path);
    record.releaseNotes = JSONCoding::optionalString(object, "releaseNotes", path);
    record.description = JSONCoding::optionalString(object, "description", path);
    record.sellerUrl = JSONCoding::optionalString(object, "sellerUrl", path);
    record.sellerName = JSONCoding::optionalString(object, "sellerName", path);
    record.artistName = JSONCoding::optionalString(object, "artistName", path);
    return record;
}

nlohmann::ordered_json AppStoreLookupResult::StoreApplication::toJSON() const {
    nlohmann::ordered_json object;
    object["trackName"] = title;
    object["artworkUrl512"] = imageURL;
    object["primaryGenreName"] = primaryGenreName;
    object["screenshotUrls"] = screenshotUrls;
    if (ipadScreenshotUrls) {
        object["ipadScreenshotUrls"] = *ipadScreenshotUrls;
    }
    object["trackViewUrl"] = storeURL;
    object["bundleId"] = bundleID;
    const auto optional = [&](const char* key, const std::optional<std::string>& value) {
        if (value) {
            object[key] = *value;
        }
    };
    if (languageCodesISO2A) {
        object["languageCodesISO2A"] = *languageCodesISO2A;
    }
    optional("releaseNotes", releaseNotes);
    optional("description", description);
    optional("sellerUrl", sellerUrl);
    optional("sellerName", sellerName);
    optional("artistName", artistName);
    return object;
}

AppStoreLookupResult AppStoreLookupResult::decode(std::string_view body) {
    const auto document = JSONCoding::parse(body);
    const JSONCoding::CodingPath root;
    JSONCoding::requireObject(document, root);
    const auto& count = JSONCoding::member(document, "resultCount", root);
    if (!count.is_number_integer()) {
        throw DecodingError(DecodingError::Kind::typeMismatch, {"resultCount"},
                            "Expected to decode Int but found another value instead.");
    }
    AppStoreLookupResult result;
    result.applicationsCount = count.get<long long>();
    const auto& results = JSONCoding::array(JSONCoding::member(document, "results", root),
                                            JSONCoding::appending(root, "results"));
    for (std::size_t index = 0; index < results.size(); ++index) {
        result.applications.push_back(StoreApplication::fromJSON(
            results[index],
            JSONCoding::appending(JSONCoding::appending(root, "results"), std::to_string(index))));
    }
    return result;
}

}  // namespace tarnwick
