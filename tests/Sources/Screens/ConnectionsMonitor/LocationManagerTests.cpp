#include "Screens/ConnectionsMonitor/LocationManager.h"
#include "Tools/SettingsKey.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

class ManualLocationProvider final : public LocationProvider {
public:
    AuthorizationStatus authorizationStatus() const override { return status; }
    void setDelegate(Delegate newDelegate) override { delegate = std::move(newDelegate); }
    void requestWhenInUseAuthorization() override { ++requests; }
    void startUpdatingLocation() override { ++updatesStarted; }

    AuthorizationStatus status = AuthorizationStatus::notDetermined;
    Delegate delegate;
    int requests = 0;
    int updatesStarted = 0;
};

std::optional<bool> storedAllowed() {
    const auto value = Settings::value(SettingsKey::isUserLocationAllowed);
    return value ? value->asBool() : std::nullopt;
}

// The settings remember whether the user allowed the location, and follow each change of mind.
TEST(LocationManagerTest, StoresWhetherLocationIsAllowedAsTheAuthorizationChanges) {
    testing::TemporarySettings settings;
    const auto provider = std::make_shared<ManualLocationProvider>();
    const auto manager = std::make_shared<LocationManager>(provider, nullptr);
    using Status = LocationProvider::AuthorizationStatus;
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

}  // namespace
}  // namespace tarnwick
