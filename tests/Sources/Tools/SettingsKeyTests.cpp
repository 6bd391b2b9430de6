#include "Foundation/UserDefaults.h"
#include "Tools/SettingsKey.h"
#include "Tools/SettingsTab.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

class SettingsKeyTest : public ::testing::Test {
protected:
    testing::TemporarySettings m_settings;
};

TEST_F(SettingsKeyTest, KeyStringsAreTheCaseNames) {
    const std::pair<SettingsKey, const char*> keys[] = {
        {SettingsKey::allowanceList, "allowanceList"},
        {SettingsKey::didPresentIOSPromotion, "didPresentIOSPromotion"},
        {SettingsKey::didCompleteOnboarding, "didCompleteOnboarding"},
        {SettingsKey::isSystemExtensionExplained, "isSystemExtensionExplained"},
        {SettingsKey::launchesCount, "launchesCount"},
        {SettingsKey::undesirableCountries, "undesirableCountries"},
        {SettingsKey::isFixingExtension, "isFixingExtension"},
        {SettingsKey::isUserLocationAllowed, "isUserLocationAllowed"},
        {SettingsKey::restrictions, "restrictions"},
    };
    for (const auto& [key, text] : keys) {
        SCOPED_TRACE(text);
        EXPECT_EQ(keyString(key), text);
        Settings::set(Value(true), key);
        EXPECT_EQ(UserDefaults::standard().object(text)->asBool(), true);
    }
}

TEST_F(SettingsKeyTest, RoundTripsAndRemoval) {
    EXPECT_EQ(Settings::value(SettingsKey::launchesCount), std::nullopt);
    Settings::set(Value(std::int64_t{3}), SettingsKey::launchesCount);
    Settings::set(Value(Value::Data{'[', ']'}), SettingsKey::undesirableCountries);
    EXPECT_EQ(Settings::value(SettingsKey::launchesCount)->asInteger(), 3);
    EXPECT_EQ(Settings::value(SettingsKey::undesirableCountries)->asData(),
              (Value::Data{'[', ']'}));

    Settings::set(std::nullopt, SettingsKey::launchesCount);
    EXPECT_EQ(Settings::value(SettingsKey::launchesCount), std::nullopt);
}

TEST_F(SettingsKeyTest, AValueOfAnotherTypeReadsAsTheReadersDefault) {
    Settings::set(Value("seven"), SettingsKey::launchesCount);
    Settings::set(Value(std::int64_t{1}), SettingsKey::didCompleteOnboarding);
    const auto count = Settings::value(SettingsKey::launchesCount).value_or(Value()).asInteger();
    const auto onboarded =
        Settings::value(SettingsKey::didCompleteOnboarding).value_or(Value()).asBool();
    EXPECT_EQ(count.value_or(0), 0);
    EXPECT_EQ(onboarded.value_or(false), false);
}

TEST(SettingsTab, RawValuesAreTheTitlesInOrder) {
    ASSERT_EQ(allSettingsTabs.size(), 3u);
    EXPECT_EQ(rawValue(allSettingsTabs.front()), "Restrictions");
    EXPECT_EQ(rawValue(SettingsTab::targetCoutries), "Target Countries");
    EXPECT_EQ(rawValue(allSettingsTabs.back()), "Connections");
    EXPECT_EQ(settingsTabFromRawValue("Target Countries"), SettingsTab::targetCoutries);
    for (const char* text :
         {"restrictions", "Restrictions ", "target countries", "connectionsList"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(settingsTabFromRawValue(text), std::nullopt);
    }
}

}  // namespace
}  // namespace tarnwick
