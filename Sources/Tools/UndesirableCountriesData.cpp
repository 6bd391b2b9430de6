#include "UndesirableCountriesData.h"

namespace tarnwick {

namespace {
const char* const kKey = "undesirableCountries";
}

Result<std::string, std::string> UndesirableCountriesData::encode() const {
    nlohmann::ordered_json countries = nlohmann::ordered_json::array();
    for (const auto& country : undesirableCountries) {
        countries.push_back(country.toJSON());
    }
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    document[kKey] = std::move(countries);
    return JSONCoding::encode(document);
}

UndesirableCountriesData UndesirableCountriesData::decode(std::string_view bytes) {
    const auto document = JSONCoding::parse(bytes);
    const JSONCoding::CodingPath path = {kKey};
    UndesirableCountriesData data;
    std::size_t index = 0;
    for (const auto& item : JSONCoding::array(JSONCoding::member(document, kKey, {}), path)) {
        data.undesirableCountries.push_back(Country::fromJSON(
            item, JSONCoding::appending(path, "Index " + std::to_string(index++))));
    }
    return data;
}

}  // namespace tarnwick
