#include "Dispatch/DispatchQueue.h"
#include "ManualLocationProvider.h"
#include "Screens/ConnectionsMonitor/LocationManager.h"
#include "Tools/SettingsKey.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using testing::ManualLocationProvider;
using testing::RecordingURLOpener;
using Status = LocationProvider::AuthorizationStatus;

std::optional<bool> storedAllowed() {
    const auto value = Settings::value(SettingsKey::isUserLocationAllowed);
    return value ? value->asBool() : std::nullopt;
}

// The settings remember whether the user allowed the location, and follow each change of mind.
TEST(LocationManagerTest, StoresWhetherLocationIsAllowedAsTheAuthorizationChanges) {
    testing::TemporarySettings settings;
    const auto provider = std::make_shared<ManualLocationProvider>();
    const auto manager = std::make_shared<LocationManager>(provider, nullptr);
    const struct {
        Status status;
        bool allowed;
        int updatesStarted;
    } steps[] = {
        {Status::authorizedAlways, true, 1},
        {Status::denied, false, 1},
        {Status::authorizedWhenInUse, true, 2},
        {Status::restricted, false, 2},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(static_cast<int>(step.status));
        provider->status = step.status;
        manager->didChangeAuthorization(step.status);
        EXPECT_EQ(storedAllowed(), step.allowed);
        EXPECT_EQ(provider->updatesStarted, step.updatesStarted);
    }
}

// A refusal is reported as one the user cannot lift only when there is no service to ask or no
// settings page the user could allow it in; it is reported once, and a later permission still
// runs the stored action.
TEST(LocationManagerTest, ARefusalWithNowhereToAllowTheLocationIsReportedWithItsReason) {
    using Reason = UserLocationUnavailability;
    const struct {
        const char* name;
        bool hasService;
        bool settingsOpen;
        bool allowedBefore;
        std::optional<Reason> reported;
        std::size_t settingsOpened;
    } cases[] = {
        {"no location service", false, true, false, Reason::noLocationService, 1},
        {"refused, no settings program", true, false, false, Reason::noLocationSettings, 1},
        {"refused, settings opened", true, true, false, std::nullopt, 1},
        // Allowed in an earlier run: not sent to the settings, so nothing is known about them.
        {"refused after an earlier permission", true, false, true, std::nullopt, 0},
        {"no service after an earlier permission", false, false, true, Reason::noLocationService,
         0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        testing::TemporarySettings settings;
        if (row.allowedBefore) {
            Settings::set(Value(true), SettingsKey::isUserLocationAllowed);
        }
        const auto provider = std::make_shared<ManualLocationProvider>();
        provider->hasService = row.hasService;
        provider->answer = Status::denied;
        const auto opener = std::make_shared<RecordingURLOpener>(row.settingsOpen);
        const auto manager = std::make_shared<LocationManager>(provider, opener);
        int allowed = 0;
        std::vector<Reason> reported;
        manager->requestAuthorization([&] { ++allowed; },
                                      [&](Reason reason) { reported.push_back(reason); });
        DispatchQueue::main()->drainMain();
        EXPECT_EQ(opener->opened.size(), row.settingsOpened);
        EXPECT_EQ(allowed, 0);
        EXPECT_EQ(reported, row.reported ? std::vector{*row.reported} : std::vector<Reason>{});
        EXPECT_EQ(storedAllowed(), false);

        provider->settle(Status::denied);
        provider->settle(Status::authorizedAlways);
        EXPECT_EQ(allowed, 1);
        EXPECT_EQ(reported.size(), row.reported ? 1u : 0u);
    }
}

// Asking again reaches the provider even before any request made the manager its delegate, so
// a permission withdrawn meanwhile is seen.
TEST(LocationManagerTest, ARefreshHearsAWithdrawnPermission) {
    testing::TemporarySettings settings;
    const auto provider = std::make_shared<ManualLocationProvider>();
    provider->status = Status::authorizedAlways;
    provider->answer = Status::denied;
    const auto manager = std::make_shared<LocationManager>(provider, nullptr);
    Settings::set(Value(true), SettingsKey::isUserLocationAllowed);
    bool done = false;
    manager->refreshAuthorization([&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_EQ(provider->refreshes, 1);
    EXPECT_FALSE(manager->isAuthorized());
    EXPECT_EQ(storedAllowed(), false);
}

}  // namespace
}  // namespace tarnwick
