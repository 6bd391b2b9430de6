#include "Dispatch/ManualScheduler.h"
#include "Dispatch/RunLoop.h"
#include "Libraries/Logging/LoggingTestSupport.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "support/MissingDependency.h"
#include "support/ModelDependencies.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick::testing {
namespace {

using namespace std::chrono_literals;

class SettingsModel : public ::testing::Test {
public:
    std::shared_ptr<SettingsViewModel> make() {
        return std::make_shared<SettingsViewModel>(
            testing::settingsDependencies(preferences, countries));
    }
    static std::vector<std::string> titles(const SettingsViewModel::EntryList& rows) {
        std::vector<std::string> result;
        for (const auto& row : rows) {
            result.push_back(row->title());
        }
        return result;
    }

    TemporarySettings settings;
    UndesirableCountriesManager countries;
    Preferences preferences;
};

TEST_F(SettingsModel, AMissingServiceIsAConstructionErrorNamingIt) {
    using Dependencies = SettingsViewModel::Dependencies;
    const std::vector<std::pair<const char*, std::function<void(Dependencies&)>>> rows = {
        {"preferences", [](Dependencies& d) { d.preferences = nullptr; }},
        {"undesirableCountries", [](Dependencies& d) { d.undesirableCountries = nullptr; }},
        {"workspace", [](Dependencies& d) { d.workspace = nullptr; }},
        {"scheduler", [](Dependencies& d) { d.scheduler = nullptr; }},
    };
    for (const auto& [member, remove] : rows) {
        SCOPED_TRACE(member);
        Dependencies dependencies = settingsDependencies(preferences, countries);
        remove(dependencies);
        expectRefusedWithout(member,
                             [&] { (void)std::make_shared<SettingsViewModel>(dependencies); });
    }
}

TEST_F(SettingsModel, ListDecisionsFollowTheSixLists) {
    AllowanceList stored;
    stored.bundleIDWhitelist = {"both.app"};
    stored.bundleIDBlacklist = {"both.app", "denied.app"};
    stored.hostBlacklist = {"evil.example"};
    stored.hitsWhitelist = {{"pair.app", "192.0.2.1"}};
    stored.saveToSettings();
    const auto model = make();
    const auto rowsShown = model->showListRows();
    struct Row {
        const char* name;
        SettingsViewModel::FlowInfo flow;
        bool allowed;
        bool denied;
    };
    for (const auto& row :
         std::vector<Row>{{"in both", {{"bundleId", "both.app"}}, true, true},
                          {"denied application", {{"bundleId", "denied.app"}}, false, true},
                          {"host only", {{"aza", "evil.example"}}, false, true},
                          {"host differs in case", {{"aza", "EVIL.example"}}, false, false},
                          {"the allowed pair",
                           {{"bundleId", "pair.app"}, {"remoteAddress", "192.0.2.1"}},
                           true,
                           false},
                          {"the pair's text split elsewhere",
                           {{"bundleId", "pair.app1"}, {"remoteAddress", "92.0.2.1"}},
                           false,
                           false},
                          {"another address",
                           {{"bundleId", "pair.app"}, {"remoteAddress", "192.0.2.2"}},
                           false,
                           false},
                          {"empty", {}, false, false}}) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(model->isAllowed(row.flow), row.allowed);
        EXPECT_EQ(model->isDenied(row.flow), row.denied);
    }
    EXPECT_EQ(titles(model->denyList.get()),
              (std::vector<std::string>{"Deny all connections from both.app",
                                        "Deny all connections from denied.app",
                                        "Deny all connections to evil.example"}));
    EXPECT_EQ(titles(model->allowList.get()),
              (std::vector<std::string>{"Allow all connections from both.app",
                                        "Allow all connections from pair.app to 192.0.2.1"}));
}

// Answers every alert at once with `answer`.
class AnsweringPresenter final : public ConnectionAlertPresenter {
public:
    explicit AnsweringPresenter(int answer) : m_answer(answer) {}
    void present(const ConnectionAlert&, Answer answer) override { answer(m_answer); }
    void dismiss() override {}

private:
    int m_answer;
};

TEST_F(SettingsModel, EachAlertButtonAddsItsEntrySavesItAndSaysItsWord) {
    const SettingsViewModel::FlowInfo full = {
        {"bundleId", "a.app"}, {"aza", "h.example"}, {"remoteAddress", "192.0.2.1"}};
    const struct {
        const char* name;
        int answer;
        SettingsViewModel::FlowInfo flow;
        const char* word;
        // The lists after the answer, from empty ones.
        void (*expect)(AllowanceList&);
    } rows[] = {
        {"allow this connection", 1000, full, "Allow",
         [](AllowanceList& lists) {
             lists.hitsWhitelist = {{"a.app", "192.0.2.9"}};
         }},
        {"deny this connection", 1001, full, "Deny",
         [](AllowanceList& lists) {
             lists.hitsBlackList = {{"a.app", "192.0.2.9"}};
         }},
        {"allow the application", 1002, full, "Allow All",
         [](AllowanceList& lists) { lists.bundleIDWhitelist = {"a.app"}; }},
        {"deny the application", 1003, full, "Deny All",
         [](AllowanceList& lists) { lists.bundleIDBlacklist = {"a.app"}; }},
        {"allow the host", 1004, full, "Allow all from host",
         [](AllowanceList& lists) { lists.hostWhitelist = {"h.example"}; }},
        {"deny the host", 1005, full, "Deny all from host",
         [](AllowanceList& lists) { lists.hostBlacklist = {"h.example"}; }},
        {"no bundle identifier", 1002, {{"aza", "h.example"}}, "Allow All", [](AllowanceList&) {}},
        {"no host", 1005, {{"bundleId", "a.app"}}, "Deny all from host", [](AllowanceList&) {}},
        {"closed", ConnectionAlert::kNoAnswer, full, "unknown response", [](AllowanceList&) {}},
        {"past the last button", 1006, full, "unknown response", [](AllowanceList&) {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AllowanceList expected;
        row.expect(expected);
        AllowanceList{}.saveToSettings();
        ManualScheduler clock;
        SettingsViewModel::Dependencies dependencies = settingsDependencies(preferences, countries);
        dependencies.alertPresenter = std::make_shared<AnsweringPresenter>(row.answer);
        dependencies.scheduler = &clock;
        const auto model = std::make_shared<SettingsViewModel>(dependencies);
        std::optional<int> returned;
        auto log = std::make_shared<RecordingDestination>();
        log->setAsynchronously(false);
        LogHub::removeAllDestinations();
        (void)LogHub::addDestination(log);
        ::testing::internal::CaptureStdout();
        model->runConnectionAlert({}, row.flow, "192.0.2.9", clock.now() + 55s,
                                  [&](int answer) { returned = answer; });
        RunLoop::main().runFor(0ms);
        LogHub::removeAllDestinations();
        // In the log, not on the terminal.
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        std::vector<std::string> logged;
        for (const auto& entry : log->entries()) {
            logged.push_back(entry.message);
        }
        EXPECT_NE(std::find(logged.begin(), logged.end(),
                            std::string("Connection alert answered: ") + row.word),
                  logged.end());
        EXPECT_EQ(returned, row.answer);
        EXPECT_EQ(model->allowanceList(), expected);
        model->waitUntilListsSaved();
        EXPECT_EQ(AllowanceList::restoreFromSettings().value_or(AllowanceList{}), expected);
    }
}

// The engine consults the lists and shows none: rows are built only while something shows
// them, follow every change meanwhile and go with the last viewer.
TEST_F(SettingsModel, ListRowsAreBuiltOnlyWhileShown) {
    AllowanceList stored;
    stored.hostBlacklist = {"evil.example"};
    stored.saveToSettings();
    const auto model = make();
    EXPECT_TRUE(model->denyList.get().empty());
    model->applyAlertAnswer(1005, {{"bundleId", "a.app"}, {"aza", "worse.example"}}, "192.0.2.1");
    EXPECT_TRUE(model->denyList.get().empty());
    EXPECT_TRUE(model->isDenied({{"aza", "worse.example"}}));

    auto first = model->showListRows();
    const auto second = model->showListRows();
    EXPECT_EQ(titles(model->denyList.get()),
              (std::vector<std::string>{"Deny all connections to evil.example",
                                        "Deny all connections to worse.example"}));
    model->applyAlertAnswer(1004, {{"bundleId", "a.app"}, {"aza", "fine.example"}}, "192.0.2.1");
    EXPECT_EQ(titles(model->allowList.get()),
              std::vector<std::string>{"Allow all connections to fine.example"});
    first.reset();
    EXPECT_EQ(model->denyList.get().size(), 2u);
}

TEST_F(SettingsModel, MovingRemovingAndEmptyingRowsAreStored) {
    AllowanceList stored;
    stored.bundleIDWhitelist = {"a.app"};
    stored.hostWhitelist = {"h.example"};
    stored.saveToSettings();
    const auto model = make();
    const auto rowsShown = model->showListRows();
    model->moveToOtherList(model->allowList.get().front());
    EXPECT_EQ(AllowanceList::restoreFromSettings()->bundleIDBlacklist,
              std::vector<std::string>{"a.app"});
    // The decision follows the lists at once.
    EXPECT_TRUE(model->isDenied({{"bundleId", "a.app"}}));
    EXPECT_FALSE(model->isAllowed({{"bundleId", "a.app"}}));
    EXPECT_EQ(titles(model->denyList.get()).front(), "Deny all connections from a.app");
    model->moveToOtherList(model->denyList.get().front());
    EXPECT_EQ(AllowanceList::restoreFromSettings()->bundleIDWhitelist,
              (std::vector<std::string>{"a.app"}));

    model->removeHitItem(model->allowList.get().back(), false);
    RunLoop::main().runFor(0ms);
    EXPECT_TRUE(AllowanceList::restoreFromSettings()->hostWhitelist.empty());

    model->removeAllEntries(false);
    EXPECT_TRUE(model->allowList.get().empty());
    EXPECT_EQ(AllowanceList::restoreFromSettings(), AllowanceList{});
}

TEST_F(SettingsModel, CountriesRestrictionsAndTheSocialNetworkRule) {
    const auto model = make();
    const RestrictionPreference socialNetwork(DetectionReason::socialNetworkDomain());
    ASSERT_EQ(model->selectedCountries().get().size(), 2u);
    EXPECT_EQ(model->representedCountries.get()[0].countryCode(), "RU");
    EXPECT_EQ(model->additionalRestrictions.get().back(), socialNetwork);

    model->setCountry(Country("RU"), false);
    const auto additional = model->additionalRestrictions.get();
    EXPECT_EQ(std::count(additional.begin(), additional.end(), socialNetwork), 0);
    EXPECT_EQ(countries.currentUndesirableCountries().size(), 1u);
    model->setCountry(Country("RU"), true);
    EXPECT_EQ(model->additionalRestrictions.get().back(), socialNetwork);
    EXPECT_EQ(model->representedCountries.get()[1].countryCode(), "RU");

    const auto rule = model->additionalRestrictions.get().front();
    const auto before = model->selectedRestrictions().get().size();
    model->setRestriction(rule, true);
    model->setRestriction(rule, true);
    model->setRestriction(rule, false);
    EXPECT_EQ(model->selectedRestrictions().get().size(), before + 1);
    EXPECT_EQ(preferences.restrictions()->size(), before + 1);
}

TEST_F(SettingsModel, CountrySearch) {
    const Country germany("DE");
    const Country unitedKingdom("GB");
    EXPECT_TRUE(SettingsViewModel::countryMatches(germany, "de"));
    EXPECT_TRUE(SettingsViewModel::countryMatches(germany, "  GERM"));
    EXPECT_TRUE(SettingsViewModel::countryMatches(unitedKingdom, "uk"));
    EXPECT_TRUE(SettingsViewModel::countryMatches(germany, "Germny"));
    EXPECT_TRUE(SettingsViewModel::countryMatches(germany, "?!"));
    EXPECT_FALSE(SettingsViewModel::countryMatches(germany, "42"));
    EXPECT_TRUE(SettingsViewModel::countryMatches(germany, *Country::flagEmoji("DE")));
    EXPECT_EQ(SettingsViewModel::normalizedSearchText("  New\t\tZea-land 9 "), "new zealand ");
}

TEST_F(SettingsModel, APastedRunOfBlanksCollapsesWithoutExhaustingTheStack) {
    // The field takes 32,767 characters; a paste of that many blanks once overflowed the stack.
    const std::string pasted = "a" + std::string(32765, ' ') + "b";
    EXPECT_EQ(SettingsViewModel::normalizedSearchText(pasted), "a b");
    EXPECT_EQ(SettingsViewModel::normalizedSearchText("a \t\n\r\v\f b - c"), "a b  c");
    EXPECT_FALSE(SettingsViewModel::countryMatches(Country("DE"), pasted));
}

TEST_F(SettingsModel, AnAccentedQueryFindsItsCountry) {
    EXPECT_EQ(SettingsViewModel::normalizedSearchText("\u00C5la"), "ala");
    for (const std::string query : {"\u00E5la", "\u00C5la", "ala", "A\u030Ala"}) {
        SCOPED_TRACE(query);
        EXPECT_TRUE(SettingsViewModel::countryMatches(Country("AX"), query));
        EXPECT_FALSE(SettingsViewModel::countryMatches(Country("LA"), query));
        EXPECT_FALSE(SettingsViewModel::countryMatches(Country("LV"), query));
    }
    EXPECT_TRUE(SettingsViewModel::countryMatches(Country("CW"), "Cura\u00E7"));

    const auto model = make();
    model->setSearchBarText("\u00C5la");
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] {
            const auto shown = model->representedCountries.get();
            return shown.size() == 1 && shown[0].countryCode() == "AX";
        },
        10s));
}

TEST_F(SettingsModel, TheNewestSearchTextDecidesTheGrid) {
    const auto model = make();
    model->setSearchBarText("germ");
    model->setSearchBarText("fra");
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] {
            const auto shown = model->representedCountries.get();
            return shown.size() == 1 && shown[0].countryCode() == "FR";
        },
        10s));
}

}  // namespace
}  // namespace tarnwick::testing
