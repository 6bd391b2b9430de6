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
    // Asks the service again whether the location may be used, for a change the user made in the
    // desktop's settings meanwhile. A changed answer reaches the delegate first; `done` runs
    // after the service answered, on the main queue.
    virtual void refreshAuthorization(std::function<void()> done) { done(); }
    // False once a request found no location service on this desktop at all.
    virtual bool hasLocationService() const { return true; }
};

// Why the map shows the servers without the user's position, when it does.
enum class UserLocationUnavailability {
    none,
    // The desktop has no location service to ask.
    noLocationService,
    // The service refused and the desktop has no settings where the user could allow it.
    noLocationSettings,
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

    // `unavailable` runs once when this request ends in a refusal the user cannot lift: there
    // is no location service, or the location settings could not be opened.
    void requestAuthorization(std::function<void()> completion,
                              std::function<void(UserLocationUnavailability)> unavailable = {});
    // Asks the provider again; `done` runs once it answered (main queue).
    void refreshAuthorization(std::function<void()> done);

    void didChangeAuthorization(AuthorizationStatus status);
    void didUpdateLocations(const std::vector<MapCoordinator::Coordinates>& locations);

private:
    void becomeDelegate();

    const std::shared_ptr<LocationProvider> m_provider;
    const std::shared_ptr<URLOpener> m_urlOpener;
    std::function<void()> m_didAllowLocationAction;
    std::function<void(UserLocationUnavailability)> m_unavailableAction;
    bool m_couldNotOpenSettings = false;
};

}  // namespace tarnwick
