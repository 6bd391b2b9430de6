#include "ExtensionLifecycle.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "Logging/LogHub.h"
#include "Tools/RequiredDependency.h"
#include "Tools/SettingsKey.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace tarnwick {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* kOwner = "ExtensionLifecycle";

bool boolSetting(SettingsKey key) {
    const auto value = Settings::value(key);
    return value && value->asBool() && *value->asBool();
}

void logInfo(const std::string& message) {
    LogHub::info(message);
}

}  // namespace

std::shared_ptr<ExtensionLifecycle> ExtensionLifecycle::create(Dependencies dependencies,
                                                               Owner owner) {
    std::shared_ptr<ExtensionLifecycle> lifecycle(
        new ExtensionLifecycle(std::move(dependencies), std::move(owner)));
    lifecycle->setUp();
    return lifecycle;
}

ExtensionLifecycle::ExtensionLifecycle(Dependencies dependencies, Owner owner)
    : m_filterManager(requiredDependency(dependencies.filterManager, kOwner, "filterManager"))
    , m_extensionManager(
          requiredDependency(dependencies.extensionManager, kOwner, "extensionManager"))
    , m_ipcConnection(requiredDependency(dependencies.ipcConnection, kOwner, "ipcConnection"))
    , m_networkValidator(
          requiredDependency(std::move(dependencies.networkValidator), kOwner, "networkValidator"))
    , m_scheduler(requiredDependency(dependencies.scheduler, kOwner, "scheduler"))
    , m_notificationCenter(
          requiredDependency(dependencies.notificationCenter, kOwner, "notificationCenter"))
    , m_mainBundle(requiredDependency(dependencies.mainBundle, kOwner, "mainBundle"))
    , m_errorAlerts(std::move(dependencies.errorAlerts))
    , m_sheets(std::move(dependencies.sheets))
    , m_relaunch(requiredFunction(std::move(dependencies.relaunch), kOwner, "relaunch"))
    , m_owner(std::move(owner))
    , m_mainQueue(DispatchQueue::main()) {
    m_isFixingBrokenExtension.set(boolSetting(SettingsKey::isFixingExtension));
}

void ExtensionLifecycle::setUp() {
    dispatchPreconditionOnMain();
    if (m_isFixingBrokenExtension.get()) {
        // This launch follows a repair.
        m_didFixExtension = true;
        setIsFixingBrokenExtension(false);
    }
}

ExtensionLifecycle::~ExtensionLifecycle() {
    // Unlike the platform, nothing outlives the lifecycle here: its observers go with it.
    for (const auto& token : {m_observer, m_windowKeyObserver}) {
        if (token) {
            m_notificationCenter.removeObserver(token);
        }
    }
}

void ExtensionLifecycle::after(std::chrono::milliseconds delay,
                               std::function<void(ExtensionLifecycle&)> step) {
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    m_mainQueue->asyncAfter(
        delay,
        [weakSelf, step = std::move(step)] {
            if (const auto self = weakSelf.lock()) {
                step(*self);
            }
        },
        m_scheduler);
}

std::weak_ptr<AppCommunication> ExtensionLifecycle::appCommunication() const {
    return m_owner.appCommunication ? m_owner.appCommunication()
                                    : std::weak_ptr<AppCommunication>();
}

bool ExtensionLifecycle::isNetworkUp() const {
    return m_networkValidator->isNetworkUp();
}

const Bundle& ExtensionLifecycle::extensionBundle() {
    if (!m_extensionBundle) {
        std::error_code error;
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(m_mainBundle.contentsPath() / "Library/SystemExtensions",
                                       error);
             !error && it != fs::directory_iterator(); it.increment(error)) {
            if (it->path().filename().string().rfind('.', 0) != 0) {
                entries.push_back(it->path());
            }
        }
        std::sort(entries.begin(), entries.end());
        if (error || entries.empty() || !fs::is_directory(entries.front())) {
            LogHub::error("The application carries no system extension");
            std::abort();
        }
        m_extensionBundle.emplace(entries.front());
    }
    return *m_extensionBundle;
}

void ExtensionLifecycle::setIsFixingBrokenExtension(bool fixing) {
    dispatchPreconditionOnMain();
    m_isFixingBrokenExtension.set(fixing);
    Settings::set(Value(fixing), SettingsKey::isFixingExtension);
}

// MARK: Start, stop, toggle, connectivity

void ExtensionLifecycle::startMonitoring() {
    dispatchPreconditionOnMain();
    if (!isNetworkUp()) {
        return;
    }
    didInitiate.set(true);
    if (boolSetting(SettingsKey::isSystemExtensionExplained)) {
        activateSystemExtension(true);
    } else {
        std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
        const bool shown = m_sheets && m_sheets->presentDismissableSystemExtensionExplanation(
                                           [weakSelf] {
                                               if (const auto self = weakSelf.lock()) {
                                                   self->continueExtensionInstallation();
                                               }
                                           },
                                           [weakSelf] {
                                               if (const auto self = weakSelf.lock()) {
                                                   self->cancelExtensionInstallation();
                                               }
                                           });
        if (!shown) {
            return;
        }
    }
    if (m_owner.didStartMonitoring) {
        m_owner.didStartMonitoring();
    }
}

void ExtensionLifecycle::stopFilter() {
    dispatchPreconditionOnMain();
    status.set(Status::indeterminate);
    m_shouldMonitorForBrokenExtension = false;
    if (!m_filterManager.isEnabled()) {
        status.set(Status::stopped);
        return;
    }
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    loadFilterConfiguration([weakSelf](bool loaded) {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        if (!loaded) {
            self->status.set(Status::running);
            return;
        }
        self->m_filterManager.setEnabled(false);
        self->m_filterManager.saveToPreferences(
            [weakSelf](const std::optional<std::string>& error) {
                const auto lifecycle = weakSelf.lock();
                if (!lifecycle) {
                    return;
                }
                if (error) {
                    logInfo("Failed to disable the filter configuration: " + *error);
                    lifecycle->status.set(Status::running);
                } else {
                    lifecycle->status.set(Status::stopped);
                }
            });
    });
}

void ExtensionLifecycle::toggle() {
    dispatchPreconditionOnMain();
    if (!isNetworkUp()) {
        return;
    }
    if (status.get() == Status::running) {
        stopFilter();
    } else {
        refreshFilterStatus();
        startMonitoring();
    }
}

void ExtensionLifecycle::networkStatusChanged(bool connected) {
    dispatchPreconditionOnMain();
    if (connected) {
        if (status.get() != Status::running) {
            status.set(Status::stopped);
        }
        return;
    }
    if (status.get() == Status::running) {
        stopFilter();
    }
    status.set(Status::stopped);
    scanState.set(ScanState::standBy);
}

// MARK: Filter configuration and registration

void ExtensionLifecycle::loadFilterConfiguration(std::function<void(bool)> completion) {
    m_filterManager.loadFromPreferences(
        [completion = std::move(completion)](const std::optional<std::string>& error) {
            if (error) {
                logInfo("Failed to load the filter configuration: " + *error);
            }
            completion(!error);
        });
}

void ExtensionLifecycle::registerWithExtension() {
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    m_ipcConnection.registerWithExtension(extensionBundle(), appCommunication(),
                                          [weakSelf](bool registered) {
                                              if (const auto self = weakSelf.lock()) {
                                                  self->handleRegistration(registered);
                                              }
                                          });
}

void ExtensionLifecycle::handleRegistration(bool registered) {
    dispatchPreconditionOnMain();
    status.set(registered ? Status::running : Status::stopped);
    scanState.set(registered ? ScanState::active : ScanState::standBy);
}

void ExtensionLifecycle::applyFilterState() {
    if (m_filterManager.isEnabled()) {
        registerWithExtension();
    } else {
        status.set(Status::stopped);
        scanState.set(ScanState::standBy);
    }
}

void ExtensionLifecycle::refreshFilterStatus() {
    dispatchPreconditionOnMain();
    status.set(Status::indeterminate);
    if (!isNetworkUp()) {
        return;
    }
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    loadFilterConfiguration([weakSelf](bool loaded) {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        if (!loaded) {
            self->status.set(Status::stopped);
            return;
        }
        self->applyFilterState();
        if (!self->m_didSetupMonitor) {
            self->configureExtensionForFirstTime();
            self->m_didSetupMonitor = true;
        }
        self->observeFilterConfiguration();
    });
}

void ExtensionLifecycle::observeFilterConfiguration() {
    // One observer for the lifecycle's life: a second would register twice for every change.
    if (m_observer) {
        return;
    }
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    m_observer =
        m_notificationCenter.addObserver(NEFilterManager::configurationDidChangeNotification,
                                         m_mainQueue, [weakSelf](const Notification&) {
                                             if (const auto self = weakSelf.lock()) {
                                                 self->applyFilterState();
                                             }
                                         });
}

void ExtensionLifecycle::configureExtensionForFirstTime() {
    if (!(m_owner.isInstalled && m_owner.isInstalled()) || !isNetworkUp()) {
        return;
    }
    m_isConfiguringExtensionForFirstTime.set(true);
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    m_ipcConnection.registerWithExtension(extensionBundle(), appCommunication(),
                                          [weakSelf](bool registered) {
                                              if (const auto self = weakSelf.lock()) {
                                                  self->handleFirstRegistration(registered);
                                              }
                                          });
}

void ExtensionLifecycle::handleFirstRegistration(bool registered) {
    dispatchPreconditionOnMain();
    if (!registered) {
        m_shouldMonitorForBrokenExtension = true;
        scheduleBrokenExtensionCheck();
    } else if (!extensionBundle().bundleIdentifier()) {
        status.set(Status::stopped);
        m_shouldMonitorForBrokenExtension = true;
        return;
    } else {
        status.set(Status::configuring);
        scanState.set(ScanState::standBy);
        submitActivationRequest();
    }
    after(1s, [](ExtensionLifecycle& self) { self.finishFirstConfiguration(); });
}

void ExtensionLifecycle::finishFirstConfiguration() {
    dispatchPreconditionOnMain();
    stopFilter();
    scanState.set(ScanState::standBy);
    m_isConfiguringExtensionForFirstTime.set(false);
    if (m_didFixExtension) {
        after(250ms, [](ExtensionLifecycle& self) { self.startMonitoring(); });
    }
}

void ExtensionLifecycle::enableFilterConfiguration() {
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    loadFilterConfiguration([weakSelf](bool loaded) {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        if (!loaded) {
            self->status.set(Status::stopped);
            return;
        }
        auto& manager = self->m_filterManager;
        if (!manager.providerConfiguration()) {
            manager.setProviderConfiguration(
                FilterConfiguration::ProviderConfiguration{true, false});
            if (auto name = self->m_mainBundle.stringForInfoDictionaryKey("CFBundleName")) {
                manager.setLocalizedDescription(*name);
            }
        }
        manager.setEnabled(true);
        manager.saveToPreferences([weakSelf](const std::optional<std::string>& error) {
            const auto lifecycle = weakSelf.lock();
            if (!lifecycle) {
                return;
            }
            if (error) {
                logInfo("Failed to save the filter configuration: " + *error);
                lifecycle->status.set(Status::stopped);
            } else {
                lifecycle->registerWithExtension();
            }
        });
    });
}

void ExtensionLifecycle::unloadFilterConfiguration(std::function<void()> completion) {
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    m_filterManager.loadFromPreferences([weakSelf, completion = std::move(completion)](
                                            const std::optional<std::string>& loadError) {
        if (loadError) {
            logInfo("Failed to load the filter configuration: " + *loadError);
        }
        const auto self = weakSelf.lock();
        if (!self) {
            completion();
            return;
        }
        self->m_filterManager.setEnabled(false);
        self->m_filterManager.saveToPreferences(
            [completion](const std::optional<std::string>& saveError) {
                if (saveError) {
                    logInfo("Failed to save the filter configuration: " + *saveError);
                }
                completion();
            });
    });
}

// MARK: System extension

void ExtensionLifecycle::activateSystemExtension(bool monitorForBrokenExtension) {
    dispatchPreconditionOnMain();
    status.set(Status::indeterminate);
    if (monitorForBrokenExtension) {
        m_shouldMonitorForBrokenExtension = true;
        scheduleBrokenExtensionCheck();
    }
    if (m_filterManager.isEnabled()) {
        registerWithExtension();
        return;
    }
    if (!extensionBundle().bundleIdentifier()) {
        status.set(Status::stopped);
        return;
    }
    submitActivationRequest();
}

void ExtensionLifecycle::submitActivationRequest() {
    m_isActivatingSystemExtension = true;
    auto request = OSSystemExtensionRequest::activationRequest(
        *extensionBundle().bundleIdentifier(), m_mainQueue);
    request->setDelegate(weak_from_this());
    m_extensionManager.submitRequest(request);
}

void ExtensionLifecycle::continueExtensionInstallation() {
    dispatchPreconditionOnMain();
    activateSystemExtension(true);
    // The desktop has no page for system extensions: the link stays a constant and opens nothing.
    Settings::set(Value(true), SettingsKey::isSystemExtensionExplained);
}

void ExtensionLifecycle::cancelExtensionInstallation() {
    dispatchPreconditionOnMain();
    // Nothing was asked of the system: the start ends here, as stopped, and the explanation is
    // shown again next time.
    logInfo("The user cancelled the system extension installation");
    didInitiate.set(false);
    status.set(Status::stopped);
    // The button asked for the running state when it was pressed; nothing runs.
    scanState.set(ScanState::standBy);
}

OSSystemExtensionReplacementAction ExtensionLifecycle::actionForReplacingExtension(
    const OSSystemExtensionRequest&, const OSSystemExtensionProperties& existing,
    const OSSystemExtensionProperties& extension) {
    dispatchPreconditionOnMain();
    if (existing.bundleVersion == extension.bundleVersion &&
        existing.bundleShortVersion == extension.bundleShortVersion) {
        logInfo("Cancelling system extension install, version matches");
        return OSSystemExtensionReplacementAction::cancel;
    }
    logInfo("Replacing system extension, current version: " + existing.bundleShortVersion + "(" +
            existing.bundleVersion + "), new version: " + extension.bundleShortVersion + "(" +
            extension.bundleVersion + ")");
    didReplaceExtension.set(true);
    m_shouldMonitorForBrokenExtension = true;
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    unloadFilterConfiguration([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->refreshFilterStatus();
        }
    });
    return OSSystemExtensionReplacementAction::replace;
}

void ExtensionLifecycle::requestNeedsUserApproval(const OSSystemExtensionRequest& request) {
    dispatchPreconditionOnMain();
    logInfo("Extension " + request.identifier() + " requires user approval");
}

void ExtensionLifecycle::requestDidFinishWithResult(const OSSystemExtensionRequest& request,
                                                    OSSystemExtensionRequestResult result) {
    dispatchPreconditionOnMain();
    if (request.kind() == OSSystemExtensionRequest::Kind::activation) {
        m_isActivatingSystemExtension = false;
    }
    if (result != OSSystemExtensionRequestResult::completed) {
        logInfo("Unexpected result " + std::to_string(static_cast<int>(result)) +
                " for system extension request");
        status.set(Status::stopped);
        return;
    }
    if (m_isUninstallingSystemExtension) {
        m_isUninstallingSystemExtension = false;
        if (m_owner.didRemoveExtension) {
            m_owner.didRemoveExtension();
        }
        if (!m_didSetupMonitor) {
            refreshFilterStatus();
        }
        return;
    }
    if (m_filterManager.isEnabled()) {
        registerWithExtension();
    } else {
        enableFilterConfiguration();
    }
}

void ExtensionLifecycle::requestDidFailWithError(const OSSystemExtensionRequest& request,
                                                 const OSSystemExtensionError& error) {
    dispatchPreconditionOnMain();
    if (request.kind() == OSSystemExtensionRequest::Kind::activation) {
        m_isActivatingSystemExtension = false;
    }
    logInfo("System extension request failed: " + error.localizedDescription);
    status.set(Status::stopped);
    // A removal that failed is no removal under way.
    m_isUninstallingSystemExtension = false;
    if (m_errorAlerts) {
        m_errorAlerts->presentError(error.localizedDescription);
    }
}

// MARK: Watchdog and repair

void ExtensionLifecycle::scheduleBrokenExtensionCheck() {
    if (!boolSetting(SettingsKey::isSystemExtensionExplained) ||
        !m_shouldMonitorForBrokenExtension || m_isUninstallingSystemExtension) {
        return;
    }
    after(1500ms, [](ExtensionLifecycle& self) { self.markFixingIfNoTraffic(); });
    after(didReplaceExtension.get() ? 3000ms : 4500ms,
          [](ExtensionLifecycle& self) { self.checkForBrokenExtension(); });
}

bool ExtensionLifecycle::isWatchdogJudging() const {
    const bool traffic = m_owner.hasRecordedTraffic && m_owner.hasRecordedTraffic();
    // A flow recorded proves the filter works; an activation still waiting (for a password, say)
    // has its own outcome to tell; offline, nothing can be learnt.
    return !traffic && m_shouldMonitorForBrokenExtension && !m_isActivatingSystemExtension &&
           isNetworkUp();
}

void ExtensionLifecycle::askWhetherBroken(std::function<void(ExtensionLifecycle&, bool)> then) {
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    m_filterManager.fetchFilterStatus(
        [weakSelf, then = std::move(then)](Result<FilterStatus, std::string> answer) {
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            const std::string fault =
                answer ? answer->fault() : "the filter does not answer: " + answer.error();
            logInfo(fault.empty() ? std::string("The filter extension works")
                                  : "The filter extension does not work: " + fault);
            then(*self, !fault.empty());
        });
}

void ExtensionLifecycle::markFixingIfNoTraffic() {
    dispatchPreconditionOnMain();
    if (!isWatchdogJudging()) {
        return;
    }
    askWhetherBroken([](ExtensionLifecycle& self, bool broken) {
        if (broken && self.isWatchdogJudging()) {
            self.setIsFixingBrokenExtension(true);
        }
    });
}

void ExtensionLifecycle::checkForBrokenExtension() {
    dispatchPreconditionOnMain();
    if (!isWatchdogJudging()) {
        disarmWatchdog();
        return;
    }
    askWhetherBroken([](ExtensionLifecycle& self, bool broken) {
        if (broken && self.isWatchdogJudging()) {
            self.repairBrokenExtension();
        } else {
            self.disarmWatchdog();
        }
    });
}

void ExtensionLifecycle::repairBrokenExtension() {
    stopFilter();
    status.set(Status::stopped);
    m_shouldMonitorForBrokenExtension = false;
    Settings::set(Value(false), SettingsKey::isSystemExtensionExplained);
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    m_mainQueue->async([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->relaunchAfterRepair();
        }
    });
}

void ExtensionLifecycle::disarmWatchdog() {
    m_shouldMonitorForBrokenExtension = false;
    // Disarmed without a repair: the flag set by the first check must not make the next launch
    // believe it follows one.
    if (m_isFixingBrokenExtension.get()) {
        setIsFixingBrokenExtension(false);
    }
}

void ExtensionLifecycle::relaunchAfterRepair() {
    dispatchPreconditionOnMain();
    uninstallSystemExtension();
    if (m_windowKeyObserver) {
        return;
    }
    // One relaunch: the first window that becomes key starts it, later ones find it started.
    auto started = std::make_shared<bool>(false);
    std::weak_ptr<ExtensionLifecycle> weakSelf = weak_from_this();
    m_windowKeyObserver = m_notificationCenter.addObserver(
        kWindowDidBecomeKeyNotification, m_mainQueue, [weakSelf, started](const Notification&) {
            const auto self = weakSelf.lock();
            if (!self || std::exchange(*started, true)) {
                return;
            }
            self->after(1s, [](ExtensionLifecycle& lifecycle) { lifecycle.m_relaunch(); });
        });
}

void ExtensionLifecycle::uninstallSystemExtension() {
    const auto identifier = extensionBundle().bundleIdentifier();
    if (!identifier) {
        return;
    }
    status.set(Status::stopped);
    scanState.set(ScanState::standBy);
    auto request = OSSystemExtensionRequest::deactivationRequest(*identifier, m_mainQueue);
    request->setDelegate(weak_from_this());
    m_shouldMonitorForBrokenExtension = false;
    m_isUninstallingSystemExtension = true;
    m_didSetupMonitor = false;
    m_extensionManager.submitRequest(request);
}

}  // namespace tarnwick
