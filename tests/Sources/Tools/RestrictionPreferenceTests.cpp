#include "Tools/DetectionLevel.h"
#include "Tools/Preferences.h"
#include "Tools/RestrictionPreference.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace tarnwick {
namespace {

using testing::TemporarySettings;
using Case = DetectionReason::Case;
using Rules = std::vector<RestrictionPreference>;

std::vector<Case> cases(const Rules& rules) {
    std::vector<Case> result;
    for (const auto& rule : rules) {
        result.push_back(rule.reason().reasonCase());
    }
    return result;
}

std::string encoded(const Rules& rules) {
    return Preferences::RestrictionsData{rules}.encode().value();
}

// Target countries fixed by the test.
class FixedTargets : public UndesirableCountriesManagerType {
public:
    explicit FixedTargets(std::vector<std::string> codes) {
        for (auto& code : codes) {
            m_countries.emplace_back(std::move(code));
        }
    }
    std::vector<Country> currentUndesirableCountries() const override { return m_countries; }

private:
    std::vector<Country> m_countries;
};

const FixedTargets withRussia({"BY", "RU"});
const FixedTargets withoutRussia({"BY"});

TEST(RestrictionPreference, FixedListsInTheirOrder) {
    EXPECT_EQ(cases(RestrictionPreference::requiredRestrictions()),
              (std::vector<Case>{Case::custom, Case::bundleID, Case::sellerUrl, Case::copyright,
                                 Case::sellerName, Case::applicationServer}));
    const std::vector<Case> additional = {
        Case::title,         Case::signingCertificate,  Case::localization,
        Case::binaryURLs,    Case::artistName,          Case::secondaryLocalization,
        Case::appStoreTitle, Case::appStoreDescription, Case::appStoreSecondary,
        Case::description};
    EXPECT_EQ(cases(RestrictionPreference::additionalRestrictions(false)), additional);
    auto withSocialNetwork = additional;
    withSocialNetwork.push_back(Case::socialNetworkDomain);
    EXPECT_EQ(cases(RestrictionPreference::additionalRestrictions(true)), withSocialNetwork);
    EXPECT_EQ(cases(RestrictionPreference::recommendedRestrictions()),
              (std::vector<Case>{Case::signingCertificate, Case::localization, Case::binaryURLs,
                                 Case::artistName, Case::title}));
    EXPECT_EQ(encoded(RestrictionPreference::requiredRestrictions()),
              R"({"restrictions":[{"reason":{"custom":{"_0":"TARGET COUNTRY OWNERSHIP"}}},)"
              R"({"reason":{"bundleID":{"_0":"TARGET COUNTRY CODE"}}},)"
              R"({"reason":{"sellerUrl":{"_0":"[TARGET COUNTRY DOMAIN]"}}},)"
              R"({"reason":{"copyright":{"_0":"TARGET COUNTRY"}}},)"
              R"({"reason":{"sellerName":{"_0":"[TARGET COUNTRY COMPANY]"}}},)"
              R"({"reason":{"applicationServer":{"_0":"TARGET COUNTRY"}}}]})");
}

TEST(RestrictionPreference, RulesCompareByReason) {
    const auto first = RestrictionPreference::recommendedRestrictions();
    const auto second = RestrictionPreference::recommendedRestrictions();
    EXPECT_EQ(first, second);
    std::unordered_set<RestrictionPreference> set(first.begin(), first.end());
    set.insert(second.begin(), second.end());
    EXPECT_EQ(set.size(), 5U);

    const auto& required = RestrictionPreference::requiredReasons();
    auto isRequired = [&](const DetectionReason& reason) {
        return std::find(required.begin(), required.end(), reason) != required.end();
    };
    EXPECT_TRUE(isRequired(DetectionReason::copyright("TARGET COUNTRY")));
    EXPECT_FALSE(isRequired(DetectionReason::copyright("TARGET COUNTRY LANGUAGE")));
    EXPECT_NE(RestrictionPreference(DetectionReason::signingCertificate("TARGET COUNTRY", {})),
              first[0]);
}

TEST(RestrictionPreference, ReadingRules) {
    const auto rules = Preferences::RestrictionsData::decode(
                           encoded(RestrictionPreference::requiredRestrictions()))
                           .restrictions;
    EXPECT_EQ(rules, RestrictionPreference::requiredRestrictions());
    EXPECT_EQ(RestrictionPreference::fromJSON(
                  JSONCoding::parse(R"({"reason":{"title":{"_0":"X"}},"id":3})"), {}),
              RestrictionPreference(DetectionReason::title("X")));
    try {
        RestrictionPreference::fromJSON(JSONCoding::parse(R"({"reason":{}})"), {});
        ADD_FAILURE();
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.debugDescription(), "Invalid number of keys found, expected one.");
        EXPECT_EQ(error.codingPath(), (std::vector<std::string>{"reason"}));
    }
    try {
        RestrictionPreference::fromJSON(JSONCoding::parse(R"({"title":{"_0":"X"}})"), {});
        ADD_FAILURE();
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::keyNotFound);
    }
}

TEST(Preferences, FirstLaunchLoadsTheRecommendedPresetWithoutStoring) {
    TemporarySettings settings;
    Preferences preferences;
    EXPECT_EQ(preferences.restrictions(), RestrictionPreference::recommendedRestrictions());
    EXPECT_EQ(detectionLevel(*preferences.restrictions(), withRussia), DetectionLevel::recommended);
    EXPECT_EQ(settings.storedText(SettingsKey::restrictions), "<absent>");
    EXPECT_TRUE(settings.logLines().empty());
}

TEST(Preferences, SavedSelectionIsStoredAndLoadedAtTheNextLaunch) {
    TemporarySettings settings;
    const Rules selection = {
        RestrictionPreference(DetectionReason::title("TARGET COUNTRY LANGUAGE")),
        RestrictionPreference(DetectionReason::socialNetworkDomain())};
    {
        Preferences preferences;
        preferences.saveRestrictions(selection);
        EXPECT_EQ(preferences.restrictions(), selection);
    }
    EXPECT_EQ(settings.storedText(SettingsKey::restrictions),
              R"({"restrictions":[{"reason":{"title":{"_0":"TARGET COUNTRY LANGUAGE"}}},)"
              R"({"reason":{"socialNetworkDomain":{}}}]})");
    settings.relaunch();
    Preferences relaunched;
    EXPECT_EQ(relaunched.restrictions(), selection);
    // The first document read is kept: a later save does not change what loading gives.
    relaunched.saveRestrictions({});
    EXPECT_EQ(relaunched.loadRestrictions(), selection);
    EXPECT_EQ(relaunched.restrictions(), Rules{});
}

TEST(Preferences, UndecodableSelectionGivesTheRequiredRulesAndIsKeptAside) {
    TemporarySettings settings;
    const std::string stored = R"({"restrictions":[{"reason":{"vkCom":{}}}]})";
    settings.storeData(SettingsKey::restrictions, stored);
    Preferences preferences;
    EXPECT_EQ(preferences.restrictions(), RestrictionPreference::requiredRestrictions());
    const auto lines = settings.logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Unable to decode restrictions"), lines.end());
    EXPECT_EQ(testing::readFile(settings.file().string() + ".restrictions.corrupt"), stored);
    // The bad document stays in place until a save replaces it.
    EXPECT_EQ(settings.storedText(SettingsKey::restrictions), stored);
}

TEST(Preferences, EncodingFailureChangesNothing) {
    TemporarySettings settings;
    Preferences preferences;
    preferences.saveRestrictions({RestrictionPreference(DetectionReason::custom("\xc3"))});
    EXPECT_EQ(preferences.restrictions(), RestrictionPreference::recommendedRestrictions());
    EXPECT_EQ(settings.storedText(SettingsKey::restrictions), "<absent>");
    EXPECT_EQ(settings.logLines(), (std::vector<std::string>{"Unable to encode restrictions"}));
}

TEST(DetectionLevel, TitlesAreTheStoredRawValues) {
    const std::vector<std::string> titles = {"Minimum 🙂", "Good ☺️", "Recommended 🧐",
                                             "Great 😄", "Maximum 😎"};
    for (std::size_t index = 0; index < allDetectionLevels.size(); ++index) {
        EXPECT_EQ(rawValue(allDetectionLevels[index]), titles[index]);
        EXPECT_EQ(detectionLevelFromRawValue(titles[index]), allDetectionLevels[index]);
    }
    EXPECT_EQ(std::string(rawValue(DetectionLevel::higherThanMinimum)), "Good \u263A\uFE0F");
    EXPECT_EQ(detectionLevelFromRawValue("Good ☺"), std::nullopt);
    EXPECT_EQ(detectionLevelFromRawValue("Maximum"), std::nullopt);
}

TEST(DetectionLevel, LevelOfASelection) {
    auto recommended = RestrictionPreference::recommendedRestrictions();
    auto full = RestrictionPreference::additionalRestrictions(false);
    auto fullWithSocial = RestrictionPreference::additionalRestrictions(true);
    Rules reordered(recommended.rbegin(), recommended.rend());
    reordered.push_back(recommended[0]);
    Rules otherFive(full.begin() + 5, full.end());
    Rules otherSix(full.begin() + 4, full.end());
    struct Row {
        const char* name;
        Rules selection;
        DetectionLevel withRussia;
        DetectionLevel withoutRussia;
    };
    const Row rows[] = {
        {"empty", {}, DetectionLevel::minimum, DetectionLevel::minimum},
        {"recommended", recommended, DetectionLevel::recommended, DetectionLevel::recommended},
        {"reordered with a repeat", reordered, DetectionLevel::recommended,
         DetectionLevel::recommended},
        {"full without social network", full, DetectionLevel::higherThanAverage,
         DetectionLevel::maximum},
        {"full with social network", fullWithSocial, DetectionLevel::maximum,
         DetectionLevel::maximum},
        {"five other rules", otherFive, DetectionLevel::higherThanMinimum,
         DetectionLevel::higherThanMinimum},
        {"six other rules", otherSix, DetectionLevel::higherThanAverage,
         DetectionLevel::higherThanAverage},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(detectionLevel(row.selection, withRussia), row.withRussia);
        EXPECT_EQ(detectionLevel(row.selection, withoutRussia), row.withoutRussia);
    }
}

TEST(DetectionLevel, PresetsFollowTheTargetCountries) {
    EXPECT_TRUE(restrictions(DetectionLevel::minimum, withRussia).empty());
    for (auto level : {DetectionLevel::higherThanMinimum, DetectionLevel::recommended,
                       DetectionLevel::higherThanAverage}) {
        EXPECT_EQ(restrictions(level, withRussia),
                  RestrictionPreference::recommendedRestrictions());
    }
    const auto maximumWithRussia = restrictions(DetectionLevel::maximum, withRussia);
    const auto maximumWithoutRussia = restrictions(DetectionLevel::maximum, withoutRussia);
    EXPECT_EQ(maximumWithRussia, RestrictionPreference::additionalRestrictions(true));
    EXPECT_EQ(maximumWithoutRussia, RestrictionPreference::additionalRestrictions(false));
    // Chosen while "RU" is a target, maximum stays maximum once it is not; chosen without it,
    // the selection drops to "Great" when "RU" becomes a target.
    EXPECT_EQ(detectionLevel(maximumWithRussia, withoutRussia), DetectionLevel::maximum);
    EXPECT_EQ(detectionLevel(maximumWithoutRussia, withRussia), DetectionLevel::higherThanAverage);
}

}  // namespace
}  // namespace tarnwick
