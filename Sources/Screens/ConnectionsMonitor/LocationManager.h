#pragma once

#include "Screens/ConnectionsMonitor/MapCoordinator.h"
#include "Screens/Presenters/InterfacePresenters.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

// Where positions come from: the desktop's location service. Its callbacks arrive on the main
// queue. Without a location service the authorization is denied.
class LocationProvider {
public:
    enum class AuthorizationStatus {
        notDetermined = 0,
        restricted = 1,
        denied = 2,
        authorizedAlways = 3,
        authorizedWhenInUse = 4,
    };
    struct Delegate {
        std::function<void(AuthorizationStatus)> didChangeAuthorization;
        std::function<void(const std::vector<MapCoordinator::Coordinates>&)> didUpdateLocations;
    };

    virtual ~LocationProvider() = default;
    virtual AuthorizationStatus authorizationStatus() const = 0;
    virtual void setDelegate(Delegate delegate) = 0;
    virtual void requestWhenInUseAuthorization() = 0;
    virtual void startUpdatingLocation() = 0;
};

// A provider for a desktop without a location service: always denied.
std::shared_ptr<LocationProvider> makeDeniedLocationProvider();

// The user's own position for the map: asks for permission, sends the user to the location
// settings when needed, runs the stored action once permission arrives, switches the map's
// display of the user's position and hands each new position to the map. Main queue only; made
// with std::make_shared.
class LocationManager : public std::enable_shared_from_this<LocationManager> {
public:
    using AuthorizationStatus = LocationProvider::AuthorizationStatus;

    static constexpr const char* kLocationServicesURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_LocationServices";

    LocationManager(std::shared_ptr<LocationProvider> provider,
                    std::shared_ptr<URLOpener> urlOpener);

    AuthorizationStatus authorizationStatus() const { return m_provider->authorizationStatus(); }
    bool isAuthorized() const {
        return authorizationStatus() == AuthorizationStatus::authorizedAlways;
    }

    std::weak_ptr<MapCoordinator> map;

    void requestAuthorization(std::function<void()> completion);

    void didChangeAuthorization(AuthorizationStatus status);
    void didUpdateLocations(const std::vector<MapCoordinator::Coordinates>& locations);

private:
    const std::shared_ptr<LocationProvider> m_provider;
    const std::shared_ptr<URLOpener> m_urlOpener;
    std::function<void()> m_didAllowLocationAction;
};

}  // namespace tarnwick
