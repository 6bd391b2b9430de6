#include "Dispatch/DispatchQueue.h"
#include "Dispatch/RunLoop.h"
#include "Foundation/UserDefaults.h"
#include "Tools/UndesirableCountriesManager.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using testing::TemporarySettings;

const char* const kStoredBelarus =
    R"({"undesirableCountries":[{"countryCode":"BY","countryName":"Belarus",)"
    R"("languageCode":"be","languageName":"Belarusian","flagEmoji":"🇧🇾"}]})";

std::vector<std::string> codes(const std::vector<Country>& countries) {
    std::vector<std::string> result;
    for (const auto& country : countries) {
        result.push_back(country.countryCode());
    }
    return result;
}

// Runs the main queue until the queued saves have run.
void drainMainQueue() {
    std::atomic<bool> done = false;
    DispatchQueue::main()->async([&] { done = true; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 10s));
}

TEST(UndesirableCountriesManager, FirstLaunchUsesTheDefaultsAndStoresNothing) {
    TemporarySettings settings;
    UndesirableCountriesManager manager;
    EXPECT_EQ(codes(manager.currentUndesirableCountries()), (std::vector<std::string>{"RU", "BY"}));
    EXPECT_TRUE(manager.didFetchUndesirableCountries());
    EXPECT_EQ(manager.restoredData(), std::nullopt);
    drainMainQueue();
    EXPECT_EQ(settings.storedText(SettingsKey::undesirableCountries), "<absent>");
}

TEST(UndesirableCountriesManager, ChangesAreSavedOnTheMainQueueAsStoredText) {
    TemporarySettings settings;
    UndesirableCountriesManager manager;
    manager.remove(Country("RU"));
    // Saving waits for the main queue.
    EXPECT_EQ(settings.storedText(SettingsKey::undesirableCountries), "<absent>");
    drainMainQueue();
    EXPECT_EQ(settings.storedText(SettingsKey::undesirableCountries), kStoredBelarus);

    settings.relaunch();
    UndesirableCountriesManager relaunched;
    EXPECT_EQ(codes(relaunched.currentUndesirableCountries()), (std::vector<std::string>{"BY"}));
    ASSERT_TRUE(relaunched.restoredData());
}

TEST(UndesirableCountriesManager, AddingAndRemovingFollowTheCountryCode) {
    TemporarySettings settings;
    UndesirableCountriesManager manager;
    manager.add(Country("RU"));  // another object, same code: nothing changes
    manager.remove(Country("DE"));
    drainMainQueue();
    EXPECT_EQ(settings.storedText(SettingsKey::undesirableCountries), "<absent>");

    manager.add(Country("DE"));
    manager.add(Country("DE"));
    EXPECT_EQ(codes(manager.currentUndesirableCountries()),
              (std::vector<std::string>{"RU", "BY", "DE"}));
    manager.remove(Country("RU"));
    EXPECT_EQ(codes(manager.currentUndesirableCountries()), (std::vector<std::string>{"BY", "DE"}));
}

TEST(UndesirableCountriesManager, AnEmptiedListStaysEmptyAcrossLaunches) {
    TemporarySettings settings;
    {
        UndesirableCountriesManager manager;
        manager.remove(Country("RU"));
        manager.remove(Country("BY"));
        EXPECT_FALSE(manager.didFetchUndesirableCountries());
        drainMainQueue();
    }
    EXPECT_EQ(settings.storedText(SettingsKey::undesirableCountries),
              R"({"undesirableCountries":[]})");
    settings.relaunch();
    UndesirableCountriesManager relaunched;
    EXPECT_TRUE(relaunched.currentUndesirableCountries().empty());
    EXPECT_FALSE(relaunched.didFetchUndesirableCountries());
}

TEST(UndesirableCountriesManager, FlagFollowsTheListAlsoThroughTheSetter) {
    TemporarySettings settings;
    UndesirableCountriesManager manager;
    // Read before the list: the list is filled first.
    EXPECT_TRUE(manager.didFetchUndesirableCountries());
    manager.setCurrentUndesirableCountries({});
    EXPECT_FALSE(manager.didFetchUndesirableCountries());
    manager.setCurrentUndesirableCountries({Country("DE")});
    EXPECT_TRUE(manager.didFetchUndesirableCountries());
}

TEST(UndesirableCountriesManager, SelectingACountryTwiceLeavesNoDuplicate) {
    TemporarySettings settings;
    UndesirableCountriesManager manager;
    manager.setCurrentUndesirableCountries({Country("DE"), Country("RU"), Country("DE")});
    EXPECT_EQ(codes(manager.currentUndesirableCountries()), (std::vector<std::string>{"DE", "RU"}));
    manager.remove(Country("DE"));
    EXPECT_EQ(codes(manager.currentUndesirableCountries()), (std::vector<std::string>{"RU"}));

    // A stored document with a repeated code comes back without the repeat.
    settings.storeData(
        SettingsKey::undesirableCountries,
        R"({"undesirableCountries":[{"countryCode":"BY","countryName":"Belarus",)"
        R"("languageCode":"be","languageName":"Belarusian"},{"countryCode":"BY",)"
        R"("countryName":"Belarus","languageCode":"be","languageName":"Belarusian"}]})");
    UndesirableCountriesManager restored;
    EXPECT_EQ(codes(restored.currentUndesirableCountries()), (std::vector<std::string>{"BY"}));
}

TEST(UndesirableCountriesManager, SaveStoresTheListAsItIsWhenTheSaveRuns) {
    TemporarySettings settings;
    UndesirableCountriesManager manager;
    manager.add(Country("DE"));
    manager.remove(Country("DE"));
    manager.remove(Country("RU"));
    drainMainQueue();
    EXPECT_EQ(settings.storedText(SettingsKey::undesirableCountries), kStoredBelarus);
}

TEST(UndesirableCountriesManager, UndecodableDocumentIsKeptAsideBeforeItIsOverwritten) {
    TemporarySettings settings;
    // A country without "languageName" fails the whole document.
    const std::string broken =
        R"({"undesirableCountries":[{"countryCode":"DE","countryName":"Germany","languageCode":"de"}]})";
    settings.storeData(SettingsKey::undesirableCountries, broken);
    UndesirableCountriesManager manager;
    EXPECT_EQ(codes(manager.currentUndesirableCountries()), (std::vector<std::string>{"RU", "BY"}));
    EXPECT_EQ(manager.restoredData(), std::nullopt);

    const auto side = settings.file().string() + ".undesirableCountries.corrupt";
    EXPECT_EQ(testing::readFile(side), broken);
    manager.add(Country("DE"));
    drainMainQueue();
    EXPECT_NE(settings.storedText(SettingsKey::undesirableCountries), broken);
    EXPECT_EQ(testing::readFile(side), broken);

    // Found again at the next launch: the same copy serves, and the log says it once.
    settings.storeData(SettingsKey::undesirableCountries, broken);
    UndesirableCountriesManager again;
    again.currentUndesirableCountries();
    EXPECT_FALSE(std::filesystem::exists(side + "-2"));
    const auto lines = settings.logLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find("undesirableCountries") != std::string::npos;
                            }),
              1);
}

TEST(UndesirableCountriesManager, ForeignValuesUnderTheKeyMeanTheDefaults) {
    TemporarySettings settings;
    Settings::set(Value(42), SettingsKey::undesirableCountries);
    UndesirableCountriesManager manager;
    EXPECT_EQ(codes(manager.currentUndesirableCountries()), (std::vector<std::string>{"RU", "BY"}));
}

TEST(UndesirableCountriesManager, EncodingFailureIsLoggedAndKeepsTheStoredDocument) {
    TemporarySettings settings;
    settings.storeData(SettingsKey::undesirableCountries, kStoredBelarus);
    UndesirableCountriesManager manager;
    manager.add(Country("\xff\xfe"));  // a code that is not UTF-8 cannot be written as JSON
    drainMainQueue();
    EXPECT_EQ(settings.storedText(SettingsKey::undesirableCountries), kStoredBelarus);
    EXPECT_EQ(settings.logLines(), (std::vector<std::string>{"Unable to encode deny list"}));
}

TEST(UndesirableCountriesManager, ReadersOnOtherThreadsSeeWholeLists) {
    TemporarySettings settings;
    UndesirableCountriesManager manager;
    std::atomic<bool> stop = false;
    std::atomic<int> torn = 0;
    std::thread reader([&] {
        while (!stop) {
            const auto size = manager.currentUndesirableCountries().size();
            if (size != 2 && size != 3) {
                ++torn;
            }
        }
    });
    for (int round = 0; round < 50; ++round) {
        manager.add(Country("DE"));
        manager.remove(Country("DE"));
    }
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    drainMainQueue();
}

TEST(UndesirableCountriesManager, SharedInstanceIsOne) {
    EXPECT_EQ(&UndesirableCountriesManager::shared(), &UndesirableCountriesManager::shared());
    EXPECT_EQ(codes(UndesirableCountriesManager::defaultCountries()),
              (std::vector<std::string>{"RU", "BY"}));
}

}  // namespace
}  // namespace tarnwick
