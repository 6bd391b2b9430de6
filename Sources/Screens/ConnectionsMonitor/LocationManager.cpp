#include "LocationManager.h"

#include "Dispatch/DispatchQueue.h"
#include "Dispatch/MainQueuePrecondition.h"
#include "Tools/SettingsKey.h"

namespace tarnwick {

namespace {

class DeniedLocationProvider final : public LocationProvider {
public:
    AuthorizationStatus authorizationStatus() const override { return AuthorizationStatus::denied; }
    void setDelegate(Delegate delegate) override { m_delegate = std::move(delegate); }
    void requestWhenInUseAuthorization() override {
        DispatchQueue::main()->async([delegate = m_delegate] {
            if (delegate.didChangeAuthorization) {
                delegate.didChangeAuthorization(AuthorizationStatus::denied);
            }
        });
    }
    void startUpdatingLocation() override {}

private:
    Delegate m_delegate;
};

}  // namespace

std::shared_ptr<LocationProvider> makeDeniedLocationProvider() {
    return std::make_shared<DeniedLocationProvider>();
}

LocationManager::LocationManager(std::shared_ptr<LocationProvider> provider,
                                 std::shared_ptr<URLOpener> urlOpener)
    : m_provider(provider ? std::move(provider) : makeDeniedLocationProvider())
    , m_urlOpener(std::move(urlOpener)) {}

void LocationManager::requestAuthorization(std::function<void()> completion) {
    std::weak_ptr<LocationManager> weakSelf = weak_from_this();
    DispatchQueue::main()->async([weakSelf, completion = std::move(completion)] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->m_didAllowLocationAction = completion;
        if (self->isAuthorized() && completion) {
            completion();
        }
        self->m_provider->setDelegate(
            {[weakSelf](AuthorizationStatus status) {
                 if (const auto manager = weakSelf.lock()) {
                     manager->didChangeAuthorization(status);
                 }
             },
             [weakSelf](const std::vector<MapCoordinator::Coordinates>& locations) {
                 if (const auto manager = weakSelf.lock()) {
                     manager->didUpdateLocations(locations);
                 }
             }});
        self->m_provider->requestWhenInUseAuthorization();
        // The location settings link names a page this desktop does not have: it stays a constant
        // and nothing is opened; the location service asks the user itself.
    });
}

void LocationManager::didChangeAuthorization(AuthorizationStatus status) {
    dispatchPreconditionOnMain();
    const auto coordinator = map.lock();
    switch (status) {
        case AuthorizationStatus::authorizedAlways:
        case AuthorizationStatus::authorizedWhenInUse:
            // Once the user allowed it, the settings say so, and a later request skips the settings
            // page.
            Settings::set(Value(true), SettingsKey::isUserLocationAllowed);
            if (m_didAllowLocationAction) {
                m_didAllowLocationAction();
            }
            m_provider->startUpdatingLocation();
            if (coordinator) {
                coordinator->setShowsUserLocation(true);
            }
            break;
        case AuthorizationStatus::notDetermined:
        case AuthorizationStatus::restricted:
        case AuthorizationStatus::denied:
            if (coordinator) {
                coordinator->setShowsUserLocation(false);
            }
            Settings::set(Value(false), SettingsKey::isUserLocationAllowed);
            break;
    }
}

void LocationManager::didUpdateLocations(
    const std::vector<MapCoordinator::Coordinates>& locations) {
    dispatchPreconditionOnMain();
    if (const auto coordinator = map.lock()) {
        coordinator->setUserLocation(locations.empty() ? std::nullopt
                                                       : std::optional(locations.front()));
        coordinator->drawOverlays({});
    }
}

}  // namespace tarnwick
