#include "EngineFixture.h"
#include "Tools/SettingsKey.h"
#include "support/MissingDependency.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick::testing {
namespace {

using Status = ConnectionsMonitorViewModel::Status;

bool storedBool(SettingsKey key) {
    const auto value = Settings::value(key);
    return value && value->asBool() && *value->asBool();
}

class Lifecycle : public EngineFixture {
public:
    void explain() { Settings::set(Value(true), SettingsKey::isSystemExtensionExplained); }
    void finishRequest(std::size_t index, OSSystemExtensionRequestResult result =
                                              OSSystemExtensionRequestResult::completed) {
        auto& request = *extensionManager.requests.at(index);
        request.delegate()->requestDidFinishWithResult(request, result);
        drainMainQueue();
        drainMainQueue();
    }
    void settle() {
        for (int i = 0; i < 5; ++i) {
            drainMainQueue();
        }
    }
};

TEST_F(Lifecycle, AMissingServiceIsAConstructionErrorNamingIt) {
    using Dependencies = ConnectionsMonitorViewModel::Dependencies;
    const std::vector<std::pair<const char*, std::function<void(Dependencies&)>>> rows = {
        {"filterManager", [](Dependencies& d) { d.filterManager = nullptr; }},
        {"extensionManager", [](Dependencies& d) { d.extensionManager = nullptr; }},
        {"ipcConnection", [](Dependencies& d) { d.ipcConnection = nullptr; }},
        {"networkValidator", [](Dependencies& d) { d.networkValidator.reset(); }},
        {"undesirableCountries", [](Dependencies& d) { d.undesirableCountries = nullptr; }},
        {"scheduler", [](Dependencies& d) { d.scheduler = nullptr; }},
        {"notificationCenter", [](Dependencies& d) { d.notificationCenter = nullptr; }},
        {"workspace", [](Dependencies& d) { d.workspace = nullptr; }},
        {"whois", [](Dependencies& d) { d.whois.reset(); }},
        {"mainBundle", [](Dependencies& d) { d.mainBundle = nullptr; }},
        // No default that ends the process behind the application's back.
        {"relaunch", [](Dependencies& d) { d.relaunch = nullptr; }},
    };
    for (const auto& [member, remove] : rows) {
        SCOPED_TRACE(member);
        Dependencies dependencies = this->dependencies();
        remove(dependencies);
        expectRefusedWithout(
            member, [&] { (void)ConnectionsMonitorViewModel::create(std::move(dependencies)); });
    }
}

TEST_F(Lifecycle, APackageInstallBesideAnApplicationsFolderIsInstalledAndSetsUp) {
    // The bundle lies in the fixture's folder; ~/Applications exists elsewhere.
    const auto applications = m_folder.path() / "home/Applications";
    std::filesystem::create_directories(applications);
    for (const bool packaged : {true, false}) {
        SCOPED_TRACE(packaged ? "package folder" : "elsewhere");
        auto dependencies = this->dependencies();
        dependencies.installLocations.applicationDirectories = {applications};
        if (packaged) {
            dependencies.installLocations.packageDirectories = {m_folder.path()};
        }
        m_engine = ConnectionsMonitorViewModel::create(std::move(dependencies));
        settle();
        EXPECT_EQ(engine().isInstalled.get(), packaged);
        // Only an installed application configures the extension when the screen first looks.
        const int before = ipc.registrations;
        engine().refreshFilterStatus();
        settle();
        EXPECT_EQ(ipc.registrations - before, packaged ? 1 : 0);
        advance(1000ms);
    }
}

TEST_F(Lifecycle, StartActivatesEnablesTheFilterAndRegisters) {
    explain();
    engine().startMonitoring();
    EXPECT_TRUE(engine().didInitiate.get());
    EXPECT_EQ(engine().status.get(), Status::indeterminate);
    ASSERT_EQ(extensionManager.requests.size(), 1u);
    EXPECT_EQ(extensionManager.requests[0]->identifier(), "com.example.app.filter");
    EXPECT_EQ(extensionManager.requests[0]->kind(), OSSystemExtensionRequest::Kind::activation);

    finishRequest(0);
    settle();
    EXPECT_TRUE(filterManager.stored.enabled);
    EXPECT_EQ(filterManager.stored.providerConfiguration,
              (FilterConfiguration::ProviderConfiguration{true, false}));
    EXPECT_EQ(filterManager.stored.localizedDescription, "Tarnwick");
    EXPECT_EQ(ipc.registrations, 1);
    EXPECT_EQ(engine().status.get(), Status::running);
    EXPECT_EQ(engine().scanState.get(), ScanState::active);

    // Stopping only switches the filter off.
    engine().stopFilter();
    settle();
    EXPECT_FALSE(filterManager.stored.enabled);
    EXPECT_EQ(engine().status.get(), Status::stopped);
}

TEST_F(Lifecycle, RequestOutcomesAndFailuresEndInTheirStates) {
    explain();
    struct Row {
        const char* name;
        std::function<void(Lifecycle&)> act;
        Status status;
    };
    const std::vector<Row> rows = {
        {"request failed",
         [](Lifecycle& test) {
             auto& request = *test.extensionManager.requests.back();
             request.delegate()->requestDidFailWithError(
                 request, {OSSystemExtensionError::Code::authorizationRequired, "Refused."});
         },
         Status::stopped},
        {"finished after a reboot",
         [](Lifecycle& test) {
             test.finishRequest(test.extensionManager.requests.size() - 1,
                                OSSystemExtensionRequestResult::willCompleteAfterReboot);
         },
         Status::stopped},
        {"configuration cannot be saved",
         [](Lifecycle& test) {
             test.filterManager.saveError = "host gone";
             test.finishRequest(test.extensionManager.requests.size() - 1);
         },
         Status::stopped},
        {"registration refused",
         [](Lifecycle& test) {
             test.filterManager.saveError.reset();
             test.ipc.answer = false;
             test.finishRequest(test.extensionManager.requests.size() - 1);
         },
         Status::stopped},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        engine().activateSystemExtension(false);
        row.act(*this);
        settle();
        EXPECT_EQ(engine().status.get(), row.status);
        EXPECT_EQ(engine().scanState.get(), ScanState::standBy);
    }
    EXPECT_EQ(errorAlerts->errors, std::vector<std::string>{"Refused."});
}

TEST_F(Lifecycle, ReplacementByTheTwoVersions) {
    struct Row {
        const char* existingShort;
        const char* existingBuild;
        OSSystemExtensionReplacementAction action;
    };
    const OSSystemExtensionProperties carried{"", "com.example.app.filter", "2", "1.1"};
    for (const auto& row :
         std::vector<Row>{{"1.1", "2", OSSystemExtensionReplacementAction::cancel},
                          {"1.1", "1", OSSystemExtensionReplacementAction::replace},
                          {"1.0", "2", OSSystemExtensionReplacementAction::replace}}) {
        SCOPED_TRACE(std::string(row.existingShort) + "(" + row.existingBuild + ")");
        const OSSystemExtensionProperties existing{"", "com.example.app.filter", row.existingBuild,
                                                   row.existingShort};
        OSSystemExtensionRequest request(OSSystemExtensionRequest::Kind::activation,
                                         "com.example.app.filter", DispatchQueue::main());
        EXPECT_EQ(engine().actionForReplacingExtension(request, existing, carried), row.action);
        EXPECT_EQ(engine().didReplaceExtension.get(),
                  row.action == OSSystemExtensionReplacementAction::replace);
    }
    settle();
    // The replacement switched the configuration off and read it again.
    EXPECT_FALSE(filterManager.stored.enabled);
    EXPECT_GE(filterManager.saves, 1);
}

TEST_F(Lifecycle, StopEndsStoppedOrRunningByTheSave) {
    filterManager.stored.enabled = true;
    filterManager.loadFromPreferences([](auto) {});
    settle();
    engine().activateSystemExtension(false);
    settle();
    EXPECT_EQ(engine().status.get(), Status::running);

    filterManager.saveError = "refused";
    engine().stopFilter();
    settle();
    EXPECT_EQ(engine().status.get(), Status::running);
    EXPECT_TRUE(filterManager.stored.enabled);

    filterManager.saveError.reset();
    engine().stopFilter();
    settle();
    EXPECT_EQ(engine().status.get(), Status::stopped);

    // Not enabled: stopped at once, nothing loaded.
    const int loads = filterManager.loads;
    engine().stopFilter();
    EXPECT_EQ(engine().status.get(), Status::stopped);
    EXPECT_EQ(filterManager.loads, loads);
}

TEST_F(Lifecycle, WatchdogRepairsOnlyAFilterThatFailsItsCheckAndRelaunchesOnce) {
    // No flow is ever recorded: only the filter's answer decides.
    struct Row {
        const char* name;
        std::optional<std::string> error;
        FilterStatus status;
        bool repaired;
    };
    const std::vector<Row> rows = {
        {"quiet network, filter sound", std::nullopt, {true, true, true, true, {}}, false},
        {"filter switched off as configured",
         std::nullopt,
         {false, false, false, false, {}},
         false},
        {"host does not answer", "no host", {}, true},
        {"rules missing", std::nullopt, {true, true, false, true, "no jump"}, true},
        {"queue not bound", std::nullopt, {true, true, true, false, {}}, true},
        {"configured on but not running", std::nullopt, {true, false, false, false, {}}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_engine.reset();
        extensionManager.requests.clear();
        relaunches = 0;
        // Each row starts with the filter off, as the previous row may have left it on.
        filterManager.stored.enabled = false;
        filterManager.loadFromPreferences([](auto) {});
        settle();
        filterManager.statusError = row.error;
        filterManager.filterStatus = row.status;
        explain();
        engine().startMonitoring();
        finishRequest(0);
        settle();
        ASSERT_EQ(engine().status.get(), Status::running);

        advance(1500ms);
        settle();
        EXPECT_EQ(storedBool(SettingsKey::isFixingExtension), row.repaired);
        EXPECT_EQ(engine().isFixingBrokenExtension().get(), row.repaired);
        advance(3000ms);
        settle();
        EXPECT_EQ(engine().status.get(), row.repaired ? Status::stopped : Status::running);
        EXPECT_EQ(filterManager.stored.enabled, !row.repaired);
        EXPECT_EQ(storedBool(SettingsKey::isSystemExtensionExplained), !row.repaired);
        EXPECT_EQ(extensionManager.requests.size(), row.repaired ? 2u : 1u);
        if (row.repaired) {
            EXPECT_EQ(extensionManager.requests[1]->kind(),
                      OSSystemExtensionRequest::Kind::deactivation);
        } else {
            EXPECT_FALSE(storedBool(SettingsKey::isFixingExtension));
        }

        center.post(ConnectionsMonitorViewModel::kWindowDidBecomeKeyNotification);
        center.post(ConnectionsMonitorViewModel::kWindowDidBecomeKeyNotification);
        settle();
        advance(999ms);
        EXPECT_EQ(relaunches, 0);
        advance(1ms);
        EXPECT_EQ(relaunches, row.repaired ? 1 : 0);
        advance(5s);
        EXPECT_EQ(relaunches, row.repaired ? 1 : 0);
        Settings::set(Value(false), SettingsKey::isFixingExtension);
    }
}

TEST_F(Lifecycle, WatchdogDisarmsWithoutARepairOnTrafficOfflineOrWhileStillActivating) {
    filterManager.statusError = "no host";
    for (const std::string situation : {"traffic seen", "network down", "activation waiting"}) {
        SCOPED_TRACE(situation);
        m_engine.reset();
        extensionManager.requests.clear();
        filterManager.stored.enabled = false;
        filterManager.loadFromPreferences([](auto) {});
        settle();
        explain();
        engine().startMonitoring();
        const bool activating = situation == "activation waiting";
        if (!activating) {
            finishRequest(0);
            settle();
        }
        advance(1500ms);
        settle();
        // The filter did not answer the first look; it may still come right.
        ASSERT_EQ(storedBool(SettingsKey::isFixingExtension), !activating);
        if (situation == "network down") {
            path->setPath(NetworkPath{NetworkPath::Status::unsatisfied});
        } else if (situation == "traffic seen") {
            engine().recordHit({{"bundleId", "a.b"}, {"remoteAddress", "127.0.0.1"}}, true);
        }
        settle();
        advance(3000ms);
        settle();
        // Disarmed: the flag of the first look must not make the next launch a repaired one.
        EXPECT_FALSE(storedBool(SettingsKey::isFixingExtension));
        EXPECT_FALSE(engine().isFixingBrokenExtension().get());
        EXPECT_EQ(extensionManager.requests.size(), 1u);
        EXPECT_EQ(relaunches, 0);
        path->setPath(NetworkPath{NetworkPath::Status::satisfied});
        settle();
    }
}

TEST_F(Lifecycle, ALaunchAfterARepairRestartsMonitoringAfterItsFirstSetUp) {
    Settings::set(Value(true), SettingsKey::isFixingExtension);
    EXPECT_TRUE(engine().didFixExtension());
    EXPECT_FALSE(storedBool(SettingsKey::isFixingExtension));
    EXPECT_FALSE(engine().isFixingBrokenExtension().get());

    engine().refreshFilterStatus();
    settle();
    // The first set-up registers, then asks for the carried extension.
    EXPECT_EQ(engine().status.get(), Status::configuring);
    ASSERT_EQ(extensionManager.requests.size(), 1u);
    advance(1000ms);
    EXPECT_EQ(engine().status.get(), Status::stopped);
    // Not explained after a repair: the restart shows the explanation again.
    advance(250ms);
    EXPECT_EQ(sheets->presented, 1);
    ASSERT_TRUE(sheets->continueAction);
    sheets->continueAction();
    EXPECT_TRUE(storedBool(SettingsKey::isSystemExtensionExplained));
    EXPECT_EQ(extensionManager.requests.size(), 2u);
}

TEST_F(Lifecycle, ConfigurationChangesAreFollowedByOneObserver) {
    filterManager.stored.enabled = true;
    engine().refreshFilterStatus();
    settle();
    engine().refreshFilterStatus();
    settle();
    const int before = ipc.registrations;
    center.post(NEFilterManager::configurationDidChangeNotification, &filterManager);
    settle();
    EXPECT_EQ(ipc.registrations, before + 1);
}

TEST_F(Lifecycle, StartDoesNothingOfflineAndNeedsAWindowForTheExplanation) {
    path->setPath(NetworkPath{NetworkPath::Status::unsatisfied});
    settle();
    engine().startMonitoring();
    EXPECT_FALSE(engine().didInitiate.get());

    path->setPath(NetworkPath{NetworkPath::Status::satisfied});
    settle();
    sheets->hasMainWindow = false;
    engine().startMonitoring();
    EXPECT_TRUE(engine().didInitiate.get());
    EXPECT_TRUE(extensionManager.requests.empty());
}

TEST_F(Lifecycle, DismissingTheExplanationEndsTheStartAsStoppedAndAsksNothing) {
    int stops = 0;
    auto subscription =
        engine().status.sink([&](Status status) { stops += status == Status::stopped ? 1 : 0; });
    engine().startMonitoring();
    ASSERT_TRUE(engine().didInitiate.get());
    ASSERT_TRUE(sheets->cancelAction);
    const int before = stops;
    sheets->cancelAction();
    settle();
    EXPECT_FALSE(engine().didInitiate.get());
    EXPECT_EQ(engine().status.get(), Status::stopped);
    EXPECT_LE(stops - before, 1);
    EXPECT_TRUE(extensionManager.requests.empty());
    // Not explained: the next start shows the explanation again.
    EXPECT_FALSE(storedBool(SettingsKey::isSystemExtensionExplained));
    engine().startMonitoring();
    EXPECT_EQ(sheets->presented, 2);
}

}  // namespace
}  // namespace tarnwick::testing
