#pragma once

#include "Screens/ConnectionsMonitor/LocationManager.h"
#include "Screens/Presenters/InterfacePresenters.h"

#include <optional>
#include <string>
#include <vector>

namespace tarnwick::testing {

// A location service the test answers for: a request or a refresh gets `answer` at once, when
// one is set.
class ManualLocationProvider final : public LocationProvider {
public:
    AuthorizationStatus authorizationStatus() const override { return status; }
    void setDelegate(Delegate newDelegate) override { delegate = std::move(newDelegate); }
    void requestWhenInUseAuthorization() override {
        ++requests;
        if (answer) {
            settle(*answer);
        }
    }
    void startUpdatingLocation() override { ++updatesStarted; }
    void refreshAuthorization(std::function<void()> done) override {
        ++refreshes;
        if (answer && *answer != status) {
            settle(*answer);
        }
        done();
    }
    bool hasLocationService() const override { return hasService; }

    void settle(AuthorizationStatus newStatus) {
        status = newStatus;
        if (delegate.didChangeAuthorization) {
            delegate.didChangeAuthorization(newStatus);
        }
    }

    AuthorizationStatus status = AuthorizationStatus::notDetermined;
    std::optional<AuthorizationStatus> answer;
    bool hasService = true;
    Delegate delegate;
    int requests = 0;
    int refreshes = 0;
    int updatesStarted = 0;
};

// Records the addresses it is asked to open; opens them or not as told.
class RecordingURLOpener final : public URLOpener {
public:
    explicit RecordingURLOpener(bool opensThem) : opens(opensThem) {}
    bool open(const std::string& url) override {
        opened.push_back(url);
        return opens;
    }

    bool opens;
    std::vector<std::string> opened;
};

}  // namespace tarnwick::testing
