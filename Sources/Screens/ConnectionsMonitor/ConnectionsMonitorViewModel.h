#pragma once

#include "Combine/Published.h"
#include "Dispatch/DispatchQueue.h"
#include "Dispatch/DispatchWorkItem.h"
#include "Dispatch/Scheduler.h"
#include "FilterLink/AppCommunication.h"
#include "Foundation/Bundle.h"
#include "Foundation/NotificationCenter.h"
#include "NetworkExtension/Manager/NEFilterManager.h"
#include "Screens/ConnectionsMonitor/Application.h"
#include "Screens/ConnectionsMonitor/ConnectionMonitorAnimationManager.h"
#include "Screens/ConnectionsMonitor/ExtensionLifecycle.h"
#include "Screens/ConnectionsMonitor/FlowDecisionPipeline.h"
#include "Screens/ConnectionsMonitor/IPCConnection.h"
#include "Screens/ConnectionsMonitor/LocationManager.h"
#include "Screens/ConnectionsMonitor/MapCoordinator.h"
#include "Screens/Presenters/ConnectionAlert.h"
#include "Screens/Presenters/InterfacePresenters.h"
#include "Screens/Settings/SettingsAllowancesListManager.h"
#include "SystemExtensions/OSSystemExtensionManager.h"
#include "Tools/InstallLocations.h"
#include "Tools/NetworkValidator.h"
#include "Tools/ScanState.h"
#include "Tools/UndesirableCountriesManager.h"
#include "Tools/WhoIs.h"
#include "Workspace/Workspace.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The engine behind the Connections Monitor. It decides every flow the extension reports (by
// target country, allow and deny lists, or the user's answer in the connection alert) and keeps
// the tree of applications and the servers they reached, with the search and map state the
// screens bind to.
//
// Everything runs on the main queue: the link, the filter manager and the extension requests
// deliver there, and every mutator asserts it. The flows are decided by a `FlowDecisionPipeline`,
// which puts each decided flow into the model's tree; the model answers the link for it. The
// extension's activation, repair and the filter switch are an `ExtensionLifecycle`, whose state
// and operations the model shows under its own names. Made with `create`.
class ConnectionsMonitorViewModel final
    : public AppCommunication,
      public OSSystemExtensionRequestDelegate,
      public std::enable_shared_from_this<ConnectionsMonitorViewModel> {
    // Lets the hits and the lifecycle reach the model, which exists only once `create` has made
    // it. Declared first, with the lifecycle: the published state below refers into it.
    std::shared_ptr<std::weak_ptr<ConnectionsMonitorViewModel>> m_hitOwner =
        std::make_shared<std::weak_ptr<ConnectionsMonitorViewModel>>();
    std::shared_ptr<ExtensionLifecycle> m_lifecycle;

public:
    using Status = ExtensionLifecycle::Status;
    using FlowInfo = AppCommunication::FlowInfo;
    using ApplicationList = std::vector<std::shared_ptr<Application>>;
    using HitList = Application::HitList;

    static constexpr const char* kToggleConnectionMonitorNotification = "toggleConnectionMonitor";
    static constexpr const char* kWindowDidBecomeKeyNotification =
        ExtensionLifecycle::kWindowDidBecomeKeyNotification;
    static constexpr const char* kSecuritySettingsURL = ExtensionLifecycle::kSecuritySettingsURL;

    struct Dependencies {
        std::shared_ptr<SettingsAllowancesListManager> allowancesListManager;
        std::shared_ptr<LocationManager> locationManager;
        // Required, from here to `mainBundle`, and `relaunch`: one missing is a
        // std::invalid_argument naming it.
        NEFilterManager* filterManager = nullptr;
        OSSystemExtensionManager* extensionManager = nullptr;
        IPCConnection* ipcConnection = nullptr;
        std::shared_ptr<NetworkValidator> networkValidator;
        UndesirableCountriesManager* undesirableCountries = nullptr;
        Scheduler* scheduler = nullptr;
        NotificationCenter* notificationCenter = nullptr;
        const Workspace* workspace = nullptr;
        std::shared_ptr<const WhoIs> whois;
        std::string geoIPServiceHost{WhoIs::serviceHost};
        const Bundle* mainBundle = nullptr;
        // Where the application counts as installed; without any Applications folder, anywhere.
        InstallLocations installLocations;
        std::shared_ptr<ErrorAlertPresenter> errorAlerts;
        std::shared_ptr<SheetPresenter> sheets;
        std::shared_ptr<URLOpener> urlOpener;
        std::shared_ptr<UserNotificationCenter> userNotifications;
        // Starts a new instance of the application and ends this one.
        std::function<void()> relaunch;
        std::function<int()> random;
        // The reverse name lookup of hits without a host name; the system's resolver when empty.
        std::function<std::optional<std::string>(const std::string&)> reverseLookup;
        // How long a flow may wait for the user's answer; below the extension's 60 s.
        std::chrono::milliseconds alertTimeLimit = std::chrono::seconds(55);
        // Asks the desktop to draw the user's attention to the window; after access notifications.
        std::function<void()> requestUserAttention;
    };

    static std::shared_ptr<ConnectionsMonitorViewModel> create(Dependencies dependencies);
    // The list's order: applications with warnings first, then by name.
    static ApplicationList sortedForList(ApplicationList applications);
    ~ConnectionsMonitorViewModel() override;

    // Published state; the life cycle's is the lifecycle's own.
    Published<Status>& status;
    Published<ScanState>& scanState;
    Published<std::string> currentWumbleFrame{"WumbleIdle1"};
    Published<ApplicationList> filteredApplications;
    Published<std::optional<HitList>> filteredHits;
    Published<std::vector<WhoIs::Response::Coordinates>> coordinates;
    Published<bool>& didInitiate;
    Published<bool> isConnectedToNetwork{true};
    Published<bool> isInstalled{false};
    Published<bool> isUndesirableCountriesListFetched{false};
    Published<bool>& didReplaceExtension;
    Published<bool> showsMap{false};
    // Set while the map is shown without the user's position, and why.
    Published<UserLocationUnavailability> userLocationUnavailability{
        UserLocationUnavailability::none};

    const Published<std::string>& searchFilterText() const { return m_searchFilterText; }
    void setSearchFilterText(const std::string& text);
    const Published<bool>& showOnlyCompromised() const { return m_showOnlyCompromised; }
    void setShowOnlyCompromised(bool show);
    const Published<std::shared_ptr<Application>>& expandedInfoForApp() const {
        return m_expandedInfoForApp;
    }
    void setExpandedInfoForApp(const std::shared_ptr<Application>& application);
    const Published<bool>& isFixingBrokenExtension() const {
        return m_lifecycle->isFixingBrokenExtension();
    }
    void setIsFixingBrokenExtension(bool fixing) {
        m_lifecycle->setIsFixingBrokenExtension(fixing);
    }
    const ApplicationList& applications() const { return m_applications; }
    void setApplications(ApplicationList applications);

    const Published<bool>& isConfiguringExtensionForFirstTime() const {
        return m_lifecycle->isConfiguringExtensionForFirstTime();
    }
    bool didSetupMonitor() const { return m_lifecycle->didSetupMonitor(); }
    bool didFixExtension() const { return m_lifecycle->didFixExtension(); }
    bool shouldMonitorForBrokenExtension() const {
        return m_lifecycle->shouldMonitorForBrokenExtension();
    }
    const std::shared_ptr<LocationManager>& locationManager() const { return m_locationManager; }
    UndesirableCountriesManager& undesirableCountriesManager() const {
        return m_undesirableCountries;
    }
    void setMapCoordinator(std::weak_ptr<MapCoordinator> coordinator);

    // Operations of the screens.
    void startMonitoring() { m_lifecycle->startMonitoring(); }
    void stopFilter() { m_lifecycle->stopFilter(); }
    void refreshFilterStatus() { m_lifecycle->refreshFilterStatus(); }
    void clearAllResults();
    void showMap();
    void hideMapIfLocationDenied();
    void restoreMapIfLocationAllowed();
    void updateMapAnnotations(bool reset);

    // The life cycle of the extension.
    void activateSystemExtension(bool monitorForBrokenExtension) {
        m_lifecycle->activateSystemExtension(monitorForBrokenExtension);
    }
    void continueExtensionInstallation() { m_lifecycle->continueExtensionInstallation(); }
    void cancelExtensionInstallation() { m_lifecycle->cancelExtensionInstallation(); }

    // The flow decision: the link's entry point and its steps.
    void promptUser(const FlowInfo& aboutFlow, ResponseHandler responseHandler) override;
    void decideFlow(const FlowInfo& flowInfo, ResponseHandler responseHandler);
    ConnectionAlert makeConnectionAlert(const FlowInfo& flowInfo,
                                        const std::string& countryCode) const;
    void recordHit(const FlowInfo& flowInfo, bool isAllowed);

    // The extension request's delegate, which is the lifecycle's.
    OSSystemExtensionReplacementAction actionForReplacingExtension(
        const OSSystemExtensionRequest& request, const OSSystemExtensionProperties& existing,
        const OSSystemExtensionProperties& extension) override {
        return m_lifecycle->actionForReplacingExtension(request, existing, extension);
    }
    void requestNeedsUserApproval(const OSSystemExtensionRequest& request) override {
        m_lifecycle->requestNeedsUserApproval(request);
    }
    void requestDidFinishWithResult(const OSSystemExtensionRequest& request,
                                    OSSystemExtensionRequestResult result) override {
        m_lifecycle->requestDidFinishWithResult(request, result);
    }
    void requestDidFailWithError(const OSSystemExtensionRequest& request,
                                 const OSSystemExtensionError& error) override {
        m_lifecycle->requestDidFailWithError(request, error);
    }

private:
    explicit ConnectionsMonitorViewModel(Dependencies dependencies);
    static std::shared_ptr<ExtensionLifecycle> makeLifecycle(
        const Dependencies& dependencies,
        const std::shared_ptr<std::weak_ptr<ConnectionsMonitorViewModel>>& owner);
    void setUp();

    void handleNetworkStatusChange(bool connected);

    void insertHit(const std::string& bundleId, const FlowInfo& flowInfo, bool isAllowed);

    // Search.
    void applySearchFilter();
    void applyTextFilter(const std::string& text, ApplicationList applications);
    void runSearch(const std::string& text, const ApplicationList& applications);

    std::shared_ptr<LocationManager> m_locationManager;
    std::shared_ptr<NetworkValidator> m_networkValidator;
    UndesirableCountriesManager& m_undesirableCountries;
    Scheduler& m_scheduler;
    NotificationCenter& m_notificationCenter;
    const Workspace& m_workspace;
    std::shared_ptr<const WhoIs> m_whois;
    const Bundle& m_mainBundle;
    std::shared_ptr<URLOpener> m_urlOpener;
    const std::string m_appBundleId;
    const std::shared_ptr<DispatchQueue> m_mainQueue;
    const std::shared_ptr<DispatchQueue> m_filterQueue;
    std::shared_ptr<const HitEnvironment> m_hitEnvironment;
    std::shared_ptr<ConnectionMonitorAnimationManager> m_animationManager;
    std::shared_ptr<FlowDecisionPipeline> m_flowDecisions;
    std::weak_ptr<MapCoordinator> m_mapCoordinator;

    ApplicationList m_applications;
    Published<std::string> m_searchFilterText;
    Published<bool> m_showOnlyCompromised{false};
    Published<std::shared_ptr<Application>> m_expandedInfoForApp;
    bool m_isUsingApplicationSearchFilter = false;
    NotificationCenter::ObserverToken m_startFilterObserver;
    std::shared_ptr<DispatchWorkItem> m_searchFilterWorkItem;
};

}  // namespace tarnwick
