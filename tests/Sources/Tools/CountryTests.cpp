#include "Locale/Locale.h"
#include "Tools/CountriesProvider.h"
#include "Tools/Country.h"
#include "Tools/UndesirableCountriesData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace tarnwick {
namespace {

const char* const kRussianFlag = "\U0001F1F7\U0001F1FA";

TEST(Country, RussiaHasItsFlagLanguageAndBritishEnglishNames) {
    const Country russia("RU");
    EXPECT_EQ(russia.countryCode(), "RU");
    EXPECT_EQ(russia.countryName(), "Russia");
    EXPECT_EQ(russia.languageCode(), "ru");
    EXPECT_EQ(russia.languageName(), "Russian");
    EXPECT_EQ(russia.flagEmoji(), kRussianFlag);
    EXPECT_EQ(Country::russia(), russia);
    // British, not American, spelling of names.
    EXPECT_EQ(Country("KN").countryName(), "St Kitts & Nevis");
}

TEST(Country, LanguageTableIsLookedUpWithTheCodeUnchanged) {
    const Country lowerCase("ru");
    EXPECT_EQ(lowerCase.countryCode(), "ru");
    EXPECT_EQ(lowerCase.flagEmoji(), kRussianFlag);
    EXPECT_EQ(lowerCase.languageCode(), "en");
    EXPECT_EQ(lowerCase.languageName(), "English");
}

TEST(Country, TableValuesStandAsListedEvenWhereUnusual) {
    struct Row {
        const char* code;
        const char* languageCode;
        const char* languageName;
    };
    for (const auto& row : {Row{"SJ", "no", "Norwegian"}, Row{"NO", "nb", "Norwegian Bokmål"},
                            Row{"TK", "tk", "Turkmen"}, Row{"BY", "be", "Belarusian"},
                            // No language has the code "ni".
                            Row{"NU", "ni", "<Empty>"}}) {
        SCOPED_TRACE(row.code);
        const Country country(row.code);
        EXPECT_EQ(country.languageCode(), row.languageCode);
        EXPECT_EQ(country.languageName(), row.languageName);
    }
}

TEST(Country, FlagNeedsExactlyTwoLettersAToZ) {
    EXPECT_EQ(Country::flagEmoji("az"), "\U0001F1E6\U0001F1FF");
    for (const char* code : {"rus", "r1", "", "R", "É1", "\xff\xfe"}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Country::flagEmoji(code), std::nullopt);
    }
}

TEST(Country, UnknownCodesAreNamedEmpty) {
    for (const char* code : {"QQ", "", "Q Q", "\xff\xfe"}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Country(code).countryName(), "<Empty>");
    }
}

TEST(Country, EqualityGoesByCodeAloneAndIdentifiersAreFresh) {
    const Country first("BY");
    const Country second("BY");
    EXPECT_EQ(first, second);
    EXPECT_NE(first.id(), second.id());
    EXPECT_NE(Country("by"), first);
    // A stored country with other names is still the same country.
    EXPECT_EQ(Country("BY", "Belorussia", "ru", "Russian", std::nullopt), first);
}

TEST(Country, LanguageTableCoversExactlyTheIsoRegionCodes) {
    const auto& table = Country::languageTable();
    EXPECT_EQ(table.size(), 249U);
    std::set<std::string> codes;
    for (const auto& [code, language] : table) {
        codes.insert(code);
        EXPECT_EQ(language.size(), 2U) << code;
    }
    const auto& iso = Locale::isoRegionCodes();
    EXPECT_EQ(codes, std::set<std::string>(iso.begin(), iso.end()));
}

TEST(CountriesProvider, SortsByCodePointsWithALeadingRingAAsA) {
    CountriesProvider provider;
    const auto& sorted = provider.countriesSortedByAlphabet();
    ASSERT_EQ(sorted.size(), 249U);
    EXPECT_EQ(&sorted, &provider.countriesSortedByAlphabet());
    std::vector<std::string> names;
    for (const auto& country : sorted) {
        names.push_back(country.countryName());
    }
    auto position = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) - names.begin();
    };
    EXPECT_EQ(names.front(), "Afghanistan");
    // "Åland Islands" sorts as "Aland Islands".
    EXPECT_EQ(position("Åland Islands"), position("Afghanistan") + 1);
    EXPECT_EQ(position("Albania"), position("Åland Islands") + 1);
    // An accented second letter comes after every plain one of the same first letter.
    EXPECT_EQ(position("Côte d’Ivoire"), position("Czechia") + 1);
    EXPECT_EQ(names[position("Côte d’Ivoire") + 1][0], 'D');
}

TEST(CountriesProvider, EqualKeysKeepTheirOrderAndLaterRingAsStay) {
    std::vector<Country> countries = {
        Country("X1", "Bb", "en", "English", std::nullopt),
        Country("X2", "Ab", "en", "English", std::nullopt),
        Country("X3", "Åb", "en", "English", std::nullopt),
        Country("X4", "A\u030Ab", "en", "English", std::nullopt),  // decomposed Å
        Country("X5", "AÅ", "en", "English", std::nullopt),
        Country("X6", "Ab", "en", "English", std::nullopt),
        Country("X7", "ab", "en", "English", std::nullopt),
    };
    std::vector<std::string> codes;
    for (const auto& country : CountriesProvider::sortedByAlphabet(countries)) {
        codes.push_back(country.countryCode());
    }
    // "AÅ" keeps its Å (it does not begin with one), which sorts after "b"; upper case comes
    // before lower case.
    EXPECT_EQ(codes, (std::vector<std::string>{"X2", "X3", "X4", "X6", "X5", "X1", "X7"}));
}

TEST(UndesirableCountriesData, StoredFormRoundTripsAsLiteralText) {
    const std::string stored =
        R"({"undesirableCountries":[{"countryCode":"RU","countryName":"Russia",)"
        R"("languageCode":"ru","languageName":"Russian","flagEmoji":"🇷🇺"},)"
        R"({"countryCode":"QQ","countryName":"Q\/Land \"Old\"","languageCode":"en",)"
        R"("languageName":"English"}]})";
    const auto data = UndesirableCountriesData::decode(stored);
    ASSERT_EQ(data.undesirableCountries.size(), 2U);
    const auto& qq = data.undesirableCountries[1];
    EXPECT_EQ(qq.countryName(), "Q/Land \"Old\"");
    EXPECT_EQ(qq.flagEmoji(), std::nullopt);
    EXPECT_EQ(data.encode().value(), stored);
    EXPECT_EQ((UndesirableCountriesData{{Country("RU")}}.encode().value()),
              R"({"undesirableCountries":[{"countryCode":"RU","countryName":"Russia",)"
              R"("languageCode":"ru","languageName":"Russian","flagEmoji":"🇷🇺"}]})");
}

TEST(UndesirableCountriesData, ReadingRules) {
    struct Case {
        const char* name;
        const char* json;
        bool decodes;
    };
    const std::string deep =
        R"({"undesirableCountries":[)" + std::string(600, '[') + std::string(600, ']') + "]}";
    const Case cases[] = {
        {"null flag and extra members", R"({"undesirableCountries":[{"countryCode":"BY",
            "countryName":"Old name","languageCode":"be","languageName":"Belarusian",
            "flagEmoji":null,"id":"x"}],"other":1})",
         true},
        {"empty list", R"({"undesirableCountries":[]})", true},
        {"missing languageName", R"({"undesirableCountries":[{"countryCode":"BY",
            "countryName":"Belarus","languageCode":"be"}]})",
         false},
        {"flag of another type", R"({"undesirableCountries":[{"countryCode":"BY",
            "countryName":"Belarus","languageCode":"be","languageName":"B","flagEmoji":1}]})",
         false},
        {"missing key", R"({"countries":[]})", false},
        {"not an array", R"({"undesirableCountries":{}})", false},
        {"not JSON", "{\"undesirableCountries\":[", false},
        {"not UTF-8", "{\"undesirableCountries\":[\"\xff\"]}", false},
        {"nested too deeply", deep.c_str(), false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        if (testCase.decodes) {
            EXPECT_NO_THROW(UndesirableCountriesData::decode(testCase.json));
        } else {
            EXPECT_THROW(UndesirableCountriesData::decode(testCase.json), DecodingError);
        }
    }
    // Stored names are kept, not looked up again.
    const auto data = UndesirableCountriesData::decode(cases[0].json);
    EXPECT_EQ(data.undesirableCountries[0].countryName(), "Old name");
    EXPECT_EQ(data.undesirableCountries[0].flagEmoji(), std::nullopt);
}

}  // namespace
}  // namespace tarnwick
