#include "Country.h"

#include "Locale/Locale.h"

#include <initializer_list>
#include <utility>

namespace tarnwick {

namespace {

const char* const kNoName = "<Empty>";

std::map<std::string, std::string> makeLanguageTable() {
    const std::initializer_list<std::pair<const char*, const char*>> groups = {
        {"en",
         "AG AI AQ AS AU BB BM BS BW BZ CA CC CK CX DM FJ FK FM GB GD GG GH GI GM GS GU GY HM IM "
         "IO JE JM KI KN KY LC LR MP MS MU NA NF NG NZ PG PN PW SB SH SL SS TC TT TV UM US VC VG "
         "VI ZM ZW"},
        {"fr",
         "BF BJ BL CD CF CG CI CM DJ FR GA GF GN GP HT MC MF ML MQ NC NE PF PM RE SC SN TD TF TG "
         "WF YT"},
        {"ar", "AE BH DZ EG EH IQ JO KM KW LB LY MA MR OM PS QA SA SD SY TN YE"},
        {"es", "AR BO CL CO CR CU DO EC ES GQ GT HN MX NI PA PE PR PY SV UY VE"},
        {"pt", "AO BR CV GW MZ PT ST TL"},
        {"nl", "AW BE BQ CW NL SR SX"},
        {"zh", "CN HK MO SG TW"},
        {"de", "AT CH DE LI"},
        {"it", "IT SM VA"},
        {"sw", "KE TZ UG"},
        {"el", "CY GR"},
        {"fa", "AF IR"},
        {"ko", "KP KR"},
        {"ms", "BN MY"},
        {"nb", "BV NO"},
        {"ro", "MD RO"},
        {"sr", "ME RS"},
        {"sv", "AX SE"},
        {"tk", "TK TM"},
    };
    // Countries whose language no other country in the table shares.
    const char* const singles =
        "AD ca AL sq AM hy AZ az BA bs BD bn BG bg BI rn BT dz BY be CZ cs DK da EE et ER ti ET "
        "am FI fi FO fo GE ka GL kl HR hr HU hu ID id IE ga IL he IN hi IS is JP ja KG ky KH km "
        "KZ kk LA lo LK si LS st LT lt LU lb LV lv MG mg MH mh MK mk MM my MN mn MT mt MV dv MW "
        "ny NP ne NR na NU ni PH tl PK ur PL pl RU ru RW rw SI sl SJ no SK sk SO so SZ ss TH th "
        "TJ tg TO to TR tr UA uk UZ uz VN vi VU bi WS sm ZA zu";

    std::map<std::string, std::string> table;
    for (const auto& [language, countries] : groups) {
        const std::string_view codes(countries);
        for (std::size_t start = 0; start < codes.size(); start += 3) {
            table.emplace(std::string(codes.substr(start, 2)), language);
        }
    }
    const std::string_view pairs(singles);
    for (std::size_t start = 0; start < pairs.size(); start += 6) {
        table.emplace(std::string(pairs.substr(start, 2)), std::string(pairs.substr(start + 3, 2)));
    }
    return table;
}

std::string countryNameFor(const std::string& countryCode) {
    Locale::Components components;
    components.countryCode = countryCode;
    const auto identifier = Locale::identifierFromComponents(components);
    return Locale::britishEnglish().displayNameForLocaleIdentifier(identifier).value_or(kNoName);
}

}  // namespace

Country::Country(std::string countryCode)
    : m_id(UUID::random())
    , m_countryCode(std::move(countryCode))
    , m_countryName(countryNameFor(m_countryCode))
    , m_flagEmoji(flagEmoji(m_countryCode)) {
    const auto& table = languageTable();
    const auto row = table.find(m_countryCode);
    m_languageCode = row != table.end() ? row->second : "en";
    m_languageName =
        Locale::britishEnglish().localizedStringForLanguageCode(m_languageCode).value_or(kNoName);
}

Country::Country(std::string countryCode, std::string countryName, std::string languageCode,
                 std::string languageName, std::optional<std::string> flagEmoji)
    : m_id(UUID::random())
    , m_countryCode(std::move(countryCode))
    , m_countryName(std::move(countryName))
    , m_languageCode(std::move(languageCode))
    , m_languageName(std::move(languageName))
    , m_flagEmoji(std::move(flagEmoji)) {}

const Country& Country::russia() {
    static const Country country("RU");
    return country;
}

std::optional<std::string> Country::flagEmoji(std::string_view countryCode) {
    if (countryCode.size() != 2) {
        return std::nullopt;
    }
    std::string flag;
    for (char letter : countryCode) {
        if (letter >= 'A' && letter <= 'Z') {
            letter = static_cast<char>(letter - 'A' + 'a');
        }
        if (letter < 'a' || letter > 'z') {
            return std::nullopt;
        }
        // U+1F1E6 REGIONAL INDICATOR SYMBOL LETTER A and on, written out in UTF-8.
        const char32_t symbol = U'\U0001F1E6' + static_cast<char32_t>(letter - 'a');
        flag += static_cast<char>(0xF0 | (symbol >> 18));
        flag += static_cast<char>(0x80 | ((symbol >> 12) & 0x3F));
        flag += static_cast<char>(0x80 | ((symbol >> 6) & 0x3F));
        flag += static_cast<char>(0x80 | (symbol & 0x3F));
    }
    return flag;
}

const std::map<std::string, std::string>& Country::languageTable() {
    static const std::map<std::string, std::string> table = makeLanguageTable();
    return table;
}

nlohmann::ordered_json Country::toJSON() const {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["countryCode"] = m_countryCode;
    object["countryName"] = m_countryName;
    object["languageCode"] = m_languageCode;
    object["languageName"] = m_languageName;
    if (m_flagEmoji) {
        object["flagEmoji"] = *m_flagEmoji;
    }
    return object;
}

Country Country::fromJSON(const nlohmann::json& object, const JSONCoding::CodingPath& path) {
    auto text = [&](const std::string& key) {
        return JSONCoding::string(JSONCoding::member(object, key, path),
                                  JSONCoding::appending(path, key));
    };
    return Country(text("countryCode"), text("countryName"), text("languageCode"),
                   text("languageName"), JSONCoding::optionalString(object, "flagEmoji", path));
}

}  // namespace tarnwick
