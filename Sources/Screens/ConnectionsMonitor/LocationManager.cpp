#include "LocationManager.h"

#include "Dispatch/DispatchQueue.h"
#include "Dispatch/MainQueuePrecondition.h"
#include "Tools/SettingsKey.h"

#include <utility>

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
    bool hasLocationService() const override { return false; }

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

void LocationManager::requestAuthorization(
    std::function<void()> completion, std::function<void(UserLocationUnavailability)> unavailable) {
    std::weak_ptr<LocationManager> weakSelf = weak_from_this();
    DispatchQueue::main()->async(
        [weakSelf, completion = std::move(completion), unavailable = std::move(unavailable)] {
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            self->m_didAllowLocationAction = completion;
            self->m_unavailableAction = unavailable;
            self->m_couldNotOpenSettings = false;
            if (self->isAuthorized() && completion) {
                completion();
            }
            // The settings are opened before the service is asked, so that an answer arriving at
            // once already knows whether the user was sent there.
            const auto allowed = Settings::value(SettingsKey::isUserLocationAllowed);
            if (!(allowed && allowed->asBool() == true)) {
                self->m_couldNotOpenSettings =
                    !self->m_urlOpener || !self->m_urlOpener->open(kLocationServicesURL);
            }
            self->becomeDelegate();
            self->m_provider->requestWhenInUseAuthorization();
        });
}

void LocationManager::refreshAuthorization(std::function<void()> done) {
    dispatchPreconditionOnMain();
    becomeDelegate();
    std::weak_ptr<LocationManager> weakSelf = weak_from_this();
    m_provider->refreshAuthorization([weakSelf, done = std::move(done)] {
        if (weakSelf.lock() && done) {
            done();
        }
    });
}

void LocationManager::becomeDelegate() {
    std::weak_ptr<LocationManager> weakSelf = weak_from_this();
    m_provider->setDelegate({[weakSelf](AuthorizationStatus status) {
                                 if (const auto manager = weakSelf.lock()) {
                                     manager->didChangeAuthorization(status);
                                 }
                             },
                             [weakSelf](const std::vector<MapCoordinator::Coordinates>& locations) {
                                 if (const auto manager = weakSelf.lock()) {
                                     manager->didUpdateLocations(locations);
                                 }
                             }});
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
            m_unavailableAction = nullptr;
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
            // A refusal the user cannot lift from here: the map goes on without the position.
            if (auto unavailable = std::exchange(m_unavailableAction, nullptr)) {
                if (!m_provider->hasLocationService()) {
                    unavailable(UserLocationUnavailability::noLocationService);
                } else if (m_couldNotOpenSettings) {
                    unavailable(UserLocationUnavailability::noLocationSettings);
                }
            }
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
