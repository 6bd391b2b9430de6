#include "Locale/Locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace tarnwick {
namespace {

TEST(Locale, BritishEnglishNamesOfRegions) {
    const auto& british = Locale::britishEnglish();
    struct Row {
        const char* code;
        std::optional<std::string> name;
    };
    for (const auto& row :
         {Row{"RU", "Russia"}, Row{"ru", "Russia"}, Row{"GB", "United Kingdom"},
          Row{"KN", "St Kitts & Nevis"}, Row{"AX", "Åland Islands"}, Row{"QQ", std::nullopt},
          Row{"", std::nullopt}, Row{"R U", std::nullopt}, Row{"_RU", std::nullopt}}) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(british.localizedStringForRegionCode(row.code), row.name);
    }
    EXPECT_EQ(Locale("en_US").localizedStringForRegionCode("KN"), "St. Kitts & Nevis");
    EXPECT_EQ(Locale("de").localizedStringForRegionCode("DE"), "Deutschland");
}

TEST(Locale, BritishEnglishNamesOfLanguages) {
    const auto& british = Locale::britishEnglish();
    EXPECT_EQ(british.localizedStringForLanguageCode("ru"), "Russian");
    EXPECT_EQ(british.localizedStringForLanguageCode("nb"), "Norwegian Bokmål");
    EXPECT_EQ(british.localizedStringForLanguageCode("ni"), std::nullopt);
    EXPECT_EQ(british.localizedStringForLanguageCode(""), std::nullopt);
}

TEST(Locale, IdentifiersFromComponentsAndTheirNames) {
    Locale::Components regionOnly;
    regionOnly.countryCode = "RU";
    EXPECT_EQ(Locale::identifierFromComponents(regionOnly), "_RU");
    Locale::Components full;
    full.languageCode = "sr";
    full.scriptCode = "Latn";
    full.countryCode = "RS";
    EXPECT_EQ(Locale::identifierFromComponents(full), "sr_Latn_RS");

    const auto& british = Locale::britishEnglish();
    EXPECT_EQ(british.displayNameForLocaleIdentifier("_RU"), "Russia");
    EXPECT_EQ(british.displayNameForLocaleIdentifier("_QQ"), std::nullopt);
    EXPECT_EQ(british.displayNameForLocaleIdentifier(""), std::nullopt);
    EXPECT_EQ(british.displayNameForLocaleIdentifier("fr_CA"), "French (Canada)");
}

TEST(Locale, IsoRegionCodesAreTheAssignedOnes) {
    const auto& codes = Locale::isoRegionCodes();
    EXPECT_EQ(codes.size(), 249U);
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
    EXPECT_EQ(std::adjacent_find(codes.begin(), codes.end()), codes.end());
    for (const char* present : {"AD", "AX", "BY", "RU", "ZW"}) {
        EXPECT_NE(std::find(codes.begin(), codes.end(), present), codes.end()) << present;
    }
    for (const char* absent : {"XK", "EA", "IC", "DG", "EU", "ZZ", "UN"}) {
        EXPECT_EQ(std::find(codes.begin(), codes.end(), absent), codes.end()) << absent;
    }
}

TEST(Locale, CurrentLocaleNamesRegionsAndIsSafeAcrossThreads) {
    const auto current = Locale::current();
    EXPECT_FALSE(current.identifier().empty());
    EXPECT_TRUE(current.localizedStringForRegionCode("FR").has_value());

    const auto& british = Locale::britishEnglish();
    std::vector<std::thread> threads;
    std::atomic<int> wrong = 0;
    for (int index = 0; index < 4; ++index) {
        threads.emplace_back([&] {
            for (int round = 0; round < 200; ++round) {
                if (british.localizedStringForRegionCode("BY") != "Belarus") {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace tarnwick
