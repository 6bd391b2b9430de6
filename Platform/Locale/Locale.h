#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Locale data: the names of regions and languages as one locale writes them, the list of ISO
// region codes, and locale identifiers built from their parts. Names come from ICU's CLDR data.
// A locale is cheap to copy and safe to use from several threads.
class Locale {
public:
    // The parts of a locale identifier; empty parts are left out.
    struct Components {
        std::string languageCode;
        std::string scriptCode;
        std::string countryCode;
        std::string variantCode;
    };

    // "en_GB", "de", "pt_BR" ... (ICU's spelling; "-" is accepted for "_").
    explicit Locale(std::string identifier);

    // The locale of the user's environment (LC_ALL, LC_MESSAGES, LANG).
    static Locale current();
    // British English, in which the application names countries and languages.
    static const Locale& britishEnglish();

    const std::string& identifier() const { return m_identifier; }

    // The region's name ("RU" gives "Russia"), nothing for a code the data does not know.
    std::optional<std::string> localizedStringForRegionCode(std::string_view regionCode) const;
    // The language's name ("ru" gives "Russian"), nothing for a code the data does not know.
    std::optional<std::string> localizedStringForLanguageCode(std::string_view languageCode) const;
    // The name of a whole locale identifier. An identifier that holds only a region ("_RU") is
    // named after the region alone.
    std::optional<std::string> displayNameForLocaleIdentifier(std::string_view identifier) const;

    // The officially assigned ISO 3166-1 alpha-2 codes, upper case, in alphabetical order.
    // Codes that ISO only reserves (such as "EA" or "IC") and user-assigned ones ("XK") are left
    // out, so every entry is a country or territory of the standard.
    static const std::vector<std::string>& isoRegionCodes();

    // "language_Script_REGION_VARIANT"; a missing language still leaves its place, so a region
    // alone gives "_RU".
    static std::string identifierFromComponents(const Components& components);

private:
    struct Impl;
    std::string m_identifier;
    std::shared_ptr<Impl> m_impl;
};

}  // namespace tarnwick
