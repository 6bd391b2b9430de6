#pragma once

#include "Combine/Published.h"
#include "Dispatch/DispatchQueue.h"
#include "Dispatch/Scheduler.h"
#include "FilterLink/AppCommunication.h"
#include "Foundation/Bundle.h"
#include "Foundation/NotificationCenter.h"
#include "NetworkExtension/Manager/NEFilterManager.h"
#include "Screens/ConnectionsMonitor/IPCConnection.h"
#include "Screens/Presenters/InterfacePresenters.h"
#include "SystemExtensions/OSSystemExtensionManager.h"
#include "Tools/NetworkValidator.h"
#include "Tools/ScanState.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

// The filter extension's life cycle behind the Connections Monitor: activation (after the
// first-time explanation), replacement of an installed extension of another version, the
// content-filter configuration switched on and off, registration over the link, the first set-up
// of each launch, and the watchdog that repairs a broken extension by removing it and starting
// the application anew.
//
// Steps of a start: explanation (once) -> activation request -> configuration enabled and saved
// -> registration -> running. The watchdog, armed by a start, looks twice on fixed delays (1.5 s:
// marks the repair; 3 s after a replacement in this run, else 4.5 s: repairs). Each look asks the
// filter itself whether it works (its host answers, its rules are in place, its queue is bound),
// never the traffic: a quiet network is no broken filter. Only a filter that fails is repaired.
//
// Main queue only: requests, filter-manager completions and registrations answer there, and the
// delayed steps run there holding the lifecycle weakly. Made with `create`.
class ExtensionLifecycle final : public OSSystemExtensionRequestDelegate,
                                 public std::enable_shared_from_this<ExtensionLifecycle> {
public:
    enum class Status { stopped, configuring, indeterminate, running };

    static constexpr const char* kWindowDidBecomeKeyNotification = "windowDidBecomeKey";
    static constexpr const char* kSecuritySettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?General";

    // Every member is required but the two presenters.
    struct Dependencies {
        NEFilterManager* filterManager = nullptr;
        OSSystemExtensionManager* extensionManager = nullptr;
        IPCConnection* ipcConnection = nullptr;
        std::shared_ptr<NetworkValidator> networkValidator;
        Scheduler* scheduler = nullptr;
        NotificationCenter* notificationCenter = nullptr;
        const Bundle* mainBundle = nullptr;
        std::shared_ptr<ErrorAlertPresenter> errorAlerts;
        std::shared_ptr<SheetPresenter> sheets;
        // Starts a new instance of the application and ends this one.
        std::function<void()> relaunch;
    };

    // What the lifecycle needs of the screen model it serves; each may be empty.
    struct Owner {
        // The object the link exports to the extension: it decides the flows.
        std::function<std::weak_ptr<AppCommunication>()> appCommunication;
        // The application lies where the extension may be activated.
        std::function<bool()> isInstalled;
        // A flow has been recorded since the list was last cleared.
        std::function<bool()> hasRecordedTraffic;
        // A start went ahead (not held back by the network or a missing window).
        std::function<void()> didStartMonitoring;
        // The extension was removed.
        std::function<void()> didRemoveExtension;
    };

    static std::shared_ptr<ExtensionLifecycle> create(Dependencies dependencies, Owner owner);
    ~ExtensionLifecycle() override;
    ExtensionLifecycle(const ExtensionLifecycle&) = delete;
    ExtensionLifecycle& operator=(const ExtensionLifecycle&) = delete;

    Published<Status> status{Status::stopped};
    Published<ScanState> scanState{ScanState::standBy};
    Published<bool> didInitiate{false};
    Published<bool> didReplaceExtension{false};

    const Published<bool>& isFixingBrokenExtension() const { return m_isFixingBrokenExtension; }
    // Also stored under "isFixingExtension", which the next launch reads.
    void setIsFixingBrokenExtension(bool fixing);
    // True while the first set-up of this launch runs.
    const Published<bool>& isConfiguringExtensionForFirstTime() const {
        return m_isConfiguringExtensionForFirstTime;
    }
    bool didSetupMonitor() const { return m_didSetupMonitor; }
    bool didFixExtension() const { return m_didFixExtension; }
    bool shouldMonitorForBrokenExtension() const { return m_shouldMonitorForBrokenExtension; }

    void startMonitoring();
    void stopFilter();
    void toggle();
    void refreshFilterStatus();
    void networkStatusChanged(bool connected);
    void activateSystemExtension(bool monitorForBrokenExtension);
    void continueExtensionInstallation();
    void cancelExtensionInstallation();

    OSSystemExtensionReplacementAction actionForReplacingExtension(
        const OSSystemExtensionRequest& request, const OSSystemExtensionProperties& existing,
        const OSSystemExtensionProperties& extension) override;
    void requestNeedsUserApproval(const OSSystemExtensionRequest& request) override;
    void requestDidFinishWithResult(const OSSystemExtensionRequest& request,
                                    OSSystemExtensionRequestResult result) override;
    void requestDidFailWithError(const OSSystemExtensionRequest& request,
                                 const OSSystemExtensionError& error) override;

private:
    ExtensionLifecycle(Dependencies dependencies, Owner owner);
    void setUp();

    bool isNetworkUp() const;
    std::weak_ptr<AppCommunication> appCommunication() const;
    const Bundle& extensionBundle();
    void registerWithExtension();
    void handleRegistration(bool registered);
    void configureExtensionForFirstTime();
    void handleFirstRegistration(bool registered);
    void finishFirstConfiguration();
    void loadFilterConfiguration(std::function<void(bool)> completion);
    void enableFilterConfiguration();
    void unloadFilterConfiguration(std::function<void()> completion);
    void observeFilterConfiguration();
    void applyFilterState();
    void submitActivationRequest();
    void scheduleBrokenExtensionCheck();
    bool isWatchdogJudging() const;
    // Asks the filter how it is doing; `then` learns whether it is broken.
    void askWhetherBroken(std::function<void(ExtensionLifecycle&, bool broken)> then);
    void markFixingIfNoTraffic();
    void checkForBrokenExtension();
    void repairBrokenExtension();
    void disarmWatchdog();
    void relaunchAfterRepair();
    void uninstallSystemExtension();
    void after(std::chrono::milliseconds delay, std::function<void(ExtensionLifecycle&)> step);

    NEFilterManager& m_filterManager;
    OSSystemExtensionManager& m_extensionManager;
    IPCConnection& m_ipcConnection;
    std::shared_ptr<NetworkValidator> m_networkValidator;
    Scheduler& m_scheduler;
    NotificationCenter& m_notificationCenter;
    const Bundle& m_mainBundle;
    std::shared_ptr<ErrorAlertPresenter> m_errorAlerts;
    std::shared_ptr<SheetPresenter> m_sheets;
    std::function<void()> m_relaunch;
    Owner m_owner;
    const std::shared_ptr<DispatchQueue> m_mainQueue;

    Published<bool> m_isFixingBrokenExtension{false};
    Published<bool> m_isConfiguringExtensionForFirstTime{false};
    bool m_didFixExtension = false;
    bool m_shouldMonitorForBrokenExtension = false;
    bool m_didSetupMonitor = false;
    bool m_isUninstallingSystemExtension = false;
    bool m_isActivatingSystemExtension = false;
    NotificationCenter::ObserverToken m_observer;
    NotificationCenter::ObserverToken m_windowKeyObserver;
    std::optional<Bundle> m_extensionBundle;
};

}  // namespace tarnwick
