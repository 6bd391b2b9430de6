#pragma once

#include "Foundation/UUID.h"
#include "JSONCoding.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// One country: the target countries, the settings' country grid and the analysis checks all use
// it. Built from its code alone; the British English names come from the locale data and the
// language from the application's own country-to-language table. Two countries are the same
// country when their codes are equal; the identifier only tells grid cells apart and is made
// afresh for every country, also one read back from the settings.
class Country {
public:
    explicit Country(std::string countryCode);
    // A country as it was stored: the names are taken as they are, not looked up again.
    Country(std::string countryCode, std::string countryName, std::string languageCode,
            std::string languageName, std::optional<std::string> flagEmoji);

    // "RU", made once.
    static const Country& russia();

    const UUID& id() const { return m_id; }
    const std::string& countryCode() const { return m_countryCode; }
    const std::string& countryName() const { return m_countryName; }
    const std::string& languageCode() const { return m_languageCode; }
    const std::string& languageName() const { return m_languageName; }
    const std::optional<std::string>& flagEmoji() const { return m_flagEmoji; }

    bool operator==(const Country& other) const { return m_countryCode == other.m_countryCode; }

    // Two regional indicator symbols for a code of two letters "a" to "z" in either case.
    static std::optional<std::string> flagEmoji(std::string_view countryCode);
    // The main language of each country, by upper-case country code.
    static const std::map<std::string, std::string>& languageTable();

    // {"countryCode":..,"countryName":..,"languageCode":..,"languageName":..[,"flagEmoji":..]}
    nlohmann::ordered_json toJSON() const;
    // Requires the four names; "flagEmoji" may be missing or null; other members are ignored.
    static Country fromJSON(const nlohmann::json& object, const JSONCoding::CodingPath& path);

private:
    UUID m_id;
    std::string m_countryCode;
    std::string m_countryName;
    std::string m_languageCode;
    std::string m_languageName;
    std::optional<std::string> m_flagEmoji;
};

}  // namespace tarnwick
