#pragma once

#include "Dispatch/ManualScheduler.h"
#include "Dispatch/RunLoop.h"
#include "Network/ManualPathSource.h"
#include "Network/PathMonitor.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Sources/Tools/GeoIPTestServer.h"
#include "support/ModelDependencies.h"
#include "support/TemporaryDirectory.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace tarnwick::testing {

using namespace std::chrono_literals;

inline void drainMainQueue() {
    RunLoop::main().runFor(0ms);
}

// Shows nothing: records each alert and answers it with the next scripted answer, or holds it
// when none is scripted.
class FakeAlertPresenter final : public ConnectionAlertPresenter {
public:
    void present(const ConnectionAlert& alert, Answer answer) override {
        shown.push_back(alert);
        if (!answers.empty()) {
            const int next = answers.front();
            answers.pop_front();
            DispatchQueue::main()->async([answer, next] { answer(next); });
        } else {
            held = std::move(answer);
        }
    }
    void dismiss() override { ++dismissed; }

    std::deque<int> answers;
    std::vector<ConnectionAlert> shown;
    Answer held;
    int dismissed = 0;
};

// The filter configuration kept in memory; loads and saves complete on the main queue.
class FakeFilterManager final : public NEFilterManager {
public:
    explicit FakeFilterManager(NotificationCenter& center)
        : NEFilterManager([](auto) { return nullptr; }, center) {}

    void loadFromPreferences(Completion completion) override {
        ++loads;
        DispatchQueue::main()->async([this, completion] {
            if (!loadError) {
                m_loaded = stored;
            }
            completion(loadError);
        });
    }
    void saveToPreferences(Completion completion) override {
        ++saves;
        DispatchQueue::main()->async([this, completion] {
            if (!saveError) {
                stored = m_loaded;
            }
            completion(saveError);
        });
    }
    // Answers with `filterStatus`, or fails with `statusError`, on the main queue.
    void fetchFilterStatus(StatusCompletion completion) override {
        ++statusRequests;
        DispatchQueue::main()->async([this, completion] {
            if (statusError) {
                completion(Failure{*statusError});
            } else {
                completion(filterStatus);
            }
        });
    }
    bool isEnabled() const override { return m_loaded.enabled; }
    void setEnabled(bool enabled) override { m_loaded.enabled = enabled; }
    std::optional<FilterConfiguration::ProviderConfiguration> providerConfiguration()
        const override {
        return m_loaded.providerConfiguration;
    }
    void setProviderConfiguration(
        std::optional<FilterConfiguration::ProviderConfiguration> configuration) override {
        m_loaded.providerConfiguration = configuration;
    }
    void setLocalizedDescription(std::optional<std::string> description) override {
        m_loaded.localizedDescription = std::move(description);
    }

    FilterConfiguration stored;
    std::optional<std::string> loadError;
    std::optional<std::string> saveError;
    FilterStatus filterStatus{true, true, true, true, {}};
    std::optional<std::string> statusError;
    int statusRequests = 0;
    int loads = 0;
    int saves = 0;

private:
    FilterConfiguration m_loaded;
};

// Keeps the requests; the test plays the system's part.
class FakeExtensionManager final : public OSSystemExtensionManager {
public:
    FakeExtensionManager() : OSSystemExtensionManager(Configuration{}) {}
    void submitRequest(const std::shared_ptr<OSSystemExtensionRequest>& request) override {
        requests.push_back(request);
    }
    std::vector<std::shared_ptr<OSSystemExtensionRequest>> requests;
};

// Answers every registration with `answer` on the main queue.
class FakeIPCConnection final : public IPCConnection {
public:
    void registerWithExtension(const Bundle&, std::weak_ptr<AppCommunication>,
                               Completion completion) override {
        ++registrations;
        DispatchQueue::main()->async([completion, answer = answer] { completion(answer); });
    }
    bool answer = true;
    int registrations = 0;
};

class FakeErrorAlerts final : public ErrorAlertPresenter {
public:
    void presentError(const std::string& message) override { errors.push_back(message); }
    std::vector<std::string> errors;
};

class FakeSheets final : public SheetPresenter {
public:
    bool presentSystemExtensionExplanation(std::function<void()> onContinue) override {
        ++presented;
        continueAction = std::move(onContinue);
        return hasMainWindow;
    }
    bool presentDismissableSystemExtensionExplanation(std::function<void()> onContinue,
                                                      std::function<void()> onCancel) override {
        cancelAction = std::move(onCancel);
        return presentSystemExtensionExplanation(std::move(onContinue));
    }
    bool hasMainWindow = true;
    int presented = 0;
    std::function<void()> continueAction;
    std::function<void()> cancelAction;
};

class FakeNotifications final : public UserNotificationCenter {
public:
    void add(const UserNotification& notification, Completion completion) override {
        added.push_back(notification);
        completion(std::nullopt);
    }
    std::vector<UserNotification> added;
};

// One engine over fakes of the extension's managers, a real settings model and file, a real
// geo-IP server that places 203.0.113.1 in "RU" and 198.51.100.1 in "DE", and the manual clock.
class EngineFixture : public ::testing::Test {
public:
    static constexpr const char* kRussianServer = "203.0.113.1";
    static constexpr const char* kGermanServer = "198.51.100.1";

    EngineFixture() {
        geoIP.setAnswer(kRussianServer,
                        R"({"country": {"isoCode": "RU"}, "city": {"lat": 55.7, "long": 37.6}})");
        geoIP.setAnswer(kGermanServer,
                        R"({"country": {"isoCode": "DE"}, "city": {"lat": 52.5, "long": 13.4}})");
    }

    void writeBundle() {
        const auto contents = m_folder.path() / "Tarnwick.app/Contents";
        const auto extension =
            contents / "Library/SystemExtensions/com.example.app.filter.systemextension/Contents";
        std::filesystem::create_directories(extension);
        writeFile(contents / "Info.plist",
                  "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                  "<key>CFBundleIdentifier</key><string>com.example.app</string>"
                  "<key>CFBundleName</key><string>Tarnwick</string>"
                  "<key>CFBundleExecutable</key><string>Tarnwick</string></dict></plist>");
        writeFile(extension / "Info.plist",
                  "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                  "<key>CFBundleIdentifier</key><string>com.example.app.filter</string>"
                  "<key>CFBundleShortVersionString</key><string>1.0</string>"
                  "<key>CFBundleVersion</key><string>1</string>"
                  "<key>NetworkExtension</key><dict><key>NEMachServiceName</key>"
                  "<string>com.example.app.filter</string></dict></dict></plist>");
    }

    // The engine's services: fakes of the extension's managers, a new real settings model over
    // the settings as they stand and the current alert presenter.
    ConnectionsMonitorViewModel::Dependencies dependencies() {
        SettingsViewModel::Dependencies models = settingsDependencies(preferences, countries);
        models.alertPresenter = alerts;
        models.scheduler = &clock;
        settingsModel = std::make_shared<SettingsViewModel>(models);
        ConnectionsMonitorViewModel::Dependencies dependencies;
        dependencies.allowancesListManager = settingsModel;
        dependencies.filterManager = &filterManager;
        dependencies.extensionManager = &extensionManager;
        dependencies.ipcConnection = &ipc;
        dependencies.networkValidator = std::make_shared<NetworkValidator>(
            [this] { return std::make_shared<PathMonitor>(path); });
        dependencies.undesirableCountries = &countries;
        dependencies.scheduler = &clock;
        dependencies.notificationCenter = &center;
        dependencies.workspace = &Workspace::shared();
        dependencies.whois = std::make_shared<WhoIs>(geoIP.service());
        dependencies.mainBundle = &bundle;
        dependencies.errorAlerts = errorAlerts;
        dependencies.sheets = sheets;
        dependencies.userNotifications = notifications;
        dependencies.relaunch = [this] { ++relaunches; };
        dependencies.random = [] { return 0; };
        dependencies.reverseLookup = [](const std::string&) { return std::nullopt; };
        dependencies.requestUserAttention = [this] { ++attentionRequests; };
        return dependencies;
    }

    // Made on first use, so a test can arrange the settings first.
    ConnectionsMonitorViewModel& engine() {
        if (!m_engine) {
            m_engine = ConnectionsMonitorViewModel::create(dependencies());
            drainMainQueue();
        }
        return *m_engine;
    }

    // Runs the main queue until the condition holds (real HTTP answers arrive there).
    bool waitFor(const std::function<bool()>& condition) {
        return RunLoop::main().runUntil(condition, 10s);
    }
    void advance(std::chrono::milliseconds by) {
        clock.advance(by);
        drainMainQueue();
    }

    TemporarySettings settings;
    TemporaryDirectory m_folder;
    GeoIPTestServer geoIP;
    ManualScheduler clock;
    NotificationCenter center;
    std::shared_ptr<ManualPathSource> path =
        std::make_shared<ManualPathSource>(NetworkPath{NetworkPath::Status::satisfied});
    UndesirableCountriesManager countries;
    Preferences preferences;
    FakeFilterManager filterManager{center};
    FakeExtensionManager extensionManager;
    FakeIPCConnection ipc;
    std::shared_ptr<FakeAlertPresenter> alerts = std::make_shared<FakeAlertPresenter>();
    std::shared_ptr<FakeErrorAlerts> errorAlerts = std::make_shared<FakeErrorAlerts>();
    std::shared_ptr<FakeSheets> sheets = std::make_shared<FakeSheets>();
    std::shared_ptr<FakeNotifications> notifications = std::make_shared<FakeNotifications>();
    // The bundle's files exist before the bundle reads them.
    int m_bundleWritten = (writeBundle(), 0);
    Bundle bundle{m_folder.path() / "Tarnwick.app"};
    int relaunches = 0;
    int attentionRequests = 0;
    std::shared_ptr<SettingsViewModel> settingsModel;
    std::shared_ptr<ConnectionsMonitorViewModel> m_engine;
};

}  // namespace tarnwick::testing
