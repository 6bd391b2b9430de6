#include "ConnectionsMonitorViewModel.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "FilterLink/FilterLinkProtocol.h"
#include "Foundation/Text.h"
#include "Locale/Locale.h"
#include "Logging/LogHub.h"
#include "Tools/BundleUtilities.h"
#include "Tools/DNSResolver.h"
#include "Tools/RequiredDependency.h"
#include "Tools/SettingsKey.h"

#include <algorithm>
#include <cstdlib>

namespace tarnwick {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* kOwner = "ConnectionsMonitorViewModel";
constexpr double kUserRegionMetres = 1'500'000;

const std::string* find(const ConnectionsMonitorViewModel::FlowInfo& flowInfo, const char* key) {
    const auto found = flowInfo.find(key);
    return found == flowInfo.end() ? nullptr : &found->second;
}

bool boolSetting(SettingsKey key) {
    const auto value = Settings::value(key);
    return value && value->asBool() && *value->asBool();
}

// The reply of one flow, passed exactly once whatever path answers it.
AppCommunication::ResponseHandler once(AppCommunication::ResponseHandler reply) {
    auto answered = std::make_shared<bool>(false);
    return [answered, reply = std::move(reply)](bool allow) {
        if (!std::exchange(*answered, true)) {
            reply(allow);
        }
    };
}

void logInfo(const std::string& message) {
    LogHub::info(message);
}

}  // namespace

std::shared_ptr<ConnectionsMonitorViewModel> ConnectionsMonitorViewModel::create(
    Dependencies dependencies) {
    std::shared_ptr<ConnectionsMonitorViewModel> model(
        new ConnectionsMonitorViewModel(std::move(dependencies)));
    model->setUp();
    return model;
}

ConnectionsMonitorViewModel::ConnectionsMonitorViewModel(Dependencies dependencies)
    : m_locationManager(dependencies.locationManager
                            ? std::move(dependencies.locationManager)
                            : std::make_shared<LocationManager>(nullptr, dependencies.urlOpener))
    , m_filterManager(requiredDependency(dependencies.filterManager, kOwner, "filterManager"))
    , m_extensionManager(
          requiredDependency(dependencies.extensionManager, kOwner, "extensionManager"))
    , m_ipcConnection(requiredDependency(dependencies.ipcConnection, kOwner, "ipcConnection"))
    , m_networkValidator(
          requiredDependency(std::move(dependencies.networkValidator), kOwner, "networkValidator"))
    , m_undesirableCountries(
          requiredDependency(dependencies.undesirableCountries, kOwner, "undesirableCountries"))
    , m_scheduler(requiredDependency(dependencies.scheduler, kOwner, "scheduler"))
    , m_notificationCenter(
          requiredDependency(dependencies.notificationCenter, kOwner, "notificationCenter"))
    , m_workspace(requiredDependency(dependencies.workspace, kOwner, "workspace"))
    , m_whois(requiredDependency(std::move(dependencies.whois), kOwner, "whois"))
    , m_mainBundle(requiredDependency(dependencies.mainBundle, kOwner, "mainBundle"))
    , m_errorAlerts(std::move(dependencies.errorAlerts))
    , m_sheets(std::move(dependencies.sheets))
    , m_urlOpener(std::move(dependencies.urlOpener))
    , m_relaunch(requiredFunction(std::move(dependencies.relaunch), kOwner, "relaunch"))
    , m_appBundleId(m_mainBundle.bundleIdentifier().value_or(""))
    , m_mainQueue(DispatchQueue::main())
    , m_filterQueue(DispatchQueue::create("tarnwick.app-filter", QualityOfService::background,
                                          DispatchQueue::Attributes::concurrent)) {
    auto environment = std::make_shared<HitEnvironment>();
    environment->whois = m_whois;
    environment->undesirableCountries = &m_undesirableCountries;
    environment->notifications = std::move(dependencies.userNotifications);
    environment->reverseLookup = dependencies.reverseLookup ? std::move(dependencies.reverseLookup)
                                                            : std::function(&DNSResolver::hostName);
    environment->countryName = [](const std::string& code) {
        return Locale::current().localizedStringForRegionCode(code);
    };
    environment->didMarkWarning = [owner = m_hitOwner] {
        if (const auto self = owner->lock()) {
            // A warning moves its application up the list.
            self->applySearchFilter();
        }
    };
    environment->didPostAccessNotification = [attention = dependencies.requestUserAttention] {
        if (attention) {
            attention();
        }
    };
    m_hitEnvironment = environment;
    m_flowDecisions = std::make_shared<FlowDecisionPipeline>(FlowDecisionPipeline::Dependencies{
        std::move(dependencies.allowancesListManager), m_whois,
        std::move(dependencies.geoIPServiceHost), &m_undesirableCountries, &m_workspace,
        &m_scheduler, m_mainQueue, dependencies.alertTimeLimit,
        [owner = m_hitOwner](const FlowInfo& flowInfo, bool isAllowed) {
            if (const auto self = owner->lock()) {
                self->recordHit(flowInfo, isAllowed);
            }
        }});
    m_animationManager =
        std::make_shared<ConnectionMonitorAnimationManager>(m_scheduler, dependencies.random);
    const auto folder = dependencies.applicationsFolder;
    bool installed = !folder;
    if (folder) {
        std::error_code error;
        const auto bundle = fs::weakly_canonical(m_mainBundle.bundlePath(), error);
        const auto applications = fs::weakly_canonical(*folder, error);
        const auto relative = bundle.lexically_relative(applications);
        installed = !relative.empty() && *relative.begin() != "..";
    }
    isInstalled.set(installed);
    isUndesirableCountriesListFetched.set(m_undesirableCountries.didFetchUndesirableCountries());
    m_isFixingBrokenExtension.set(boolSetting(SettingsKey::isFixingExtension));
    showsMap.set(m_locationManager->isAuthorized());
}

void ConnectionsMonitorViewModel::setUp() {
    dispatchPreconditionOnMain();
    *m_hitOwner = weak_from_this();
    if (m_isFixingBrokenExtension.get()) {
        m_didFixExtension = true;
        setIsFixingBrokenExtension(false);
    }
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_networkValidator->startMonitoring([weakSelf, validator = m_networkValidator](bool connected) {
        if (const auto self = weakSelf.lock()) {
            self->handleNetworkStatusChange(connected);
        } else {
            validator->stopMonitoring();
        }
    });
    m_startFilterObserver = m_notificationCenter.addObserver(
        kToggleConnectionMonitorNotification, m_mainQueue, [weakSelf](const Notification&) {
            if (const auto self = weakSelf.lock()) {
                self->toggle();
            }
        });
    m_animationManager->start([weakSelf](const std::string& frame) {
        if (const auto self = weakSelf.lock()) {
            self->currentWumbleFrame.set(frame);
        }
    });
    restoreMapIfLocationAllowed();
}

ConnectionsMonitorViewModel::~ConnectionsMonitorViewModel() {
    m_networkValidator->stopMonitoring();
    if (m_startFilterObserver) {
        m_notificationCenter.removeObserver(m_startFilterObserver);
    }
    // Unlike the platform, nothing outlives the model here: its observers go with it.
    for (const auto& token : {m_observer, m_windowKeyObserver}) {
        if (token) {
            m_notificationCenter.removeObserver(token);
        }
    }
}

void ConnectionsMonitorViewModel::after(std::chrono::milliseconds delay,
                                        std::function<void(ConnectionsMonitorViewModel&)> step) {
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_mainQueue->asyncAfter(
        delay,
        [weakSelf, step = std::move(step)] {
            if (const auto self = weakSelf.lock()) {
                step(*self);
            }
        },
        m_scheduler);
}

bool ConnectionsMonitorViewModel::isNetworkUp() const {
    return m_networkValidator->isNetworkUp();
}

const Bundle& ConnectionsMonitorViewModel::extensionBundle() {
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

// MARK: Published properties with side effects

void ConnectionsMonitorViewModel::setSearchFilterText(const std::string& text) {
    dispatchPreconditionOnMain();
    m_searchFilterText.set(text);
    applySearchFilter();
}

void ConnectionsMonitorViewModel::setShowOnlyCompromised(bool show) {
    dispatchPreconditionOnMain();
    m_showOnlyCompromised.set(show);
    applySearchFilter();
    // The map switches between all of the expanded application's servers and its warnings.
    updateMapAnnotations(true);
}

void ConnectionsMonitorViewModel::setApplications(ApplicationList applications) {
    dispatchPreconditionOnMain();
    m_applications = std::move(applications);
    applySearchFilter();
}

void ConnectionsMonitorViewModel::setIsFixingBrokenExtension(bool fixing) {
    dispatchPreconditionOnMain();
    m_isFixingBrokenExtension.set(fixing);
    Settings::set(Value(fixing), SettingsKey::isFixingExtension);
}

void ConnectionsMonitorViewModel::setExpandedInfoForApp(
    const std::shared_ptr<Application>& application) {
    dispatchPreconditionOnMain();
    const auto current = m_expandedInfoForApp.get();
    const auto identifier = [](const std::shared_ptr<Application>& app) {
        return app ? std::optional(app->bundleIdentifier()) : std::nullopt;
    };
    if (identifier(current) != identifier(application)) {
        if (const auto coordinator = m_mapCoordinator.lock()) {
            coordinator->setCanAnimateMap(true);
        }
    }
    m_expandedInfoForApp.set(application);
    updateMapAnnotations(true);
}

void ConnectionsMonitorViewModel::setMapCoordinator(std::weak_ptr<MapCoordinator> coordinator) {
    dispatchPreconditionOnMain();
    m_mapCoordinator = coordinator;
    m_locationManager->map = std::move(coordinator);
}

// MARK: Start, stop, toggle, connectivity

void ConnectionsMonitorViewModel::startMonitoring() {
    dispatchPreconditionOnMain();
    if (!isNetworkUp()) {
        return;
    }
    didInitiate.set(true);
    if (boolSetting(SettingsKey::isSystemExtensionExplained)) {
        activateSystemExtension(true);
    } else {
        std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
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
    updateMapAnnotations(false);
}

void ConnectionsMonitorViewModel::stopFilter() {
    dispatchPreconditionOnMain();
    status.set(Status::indeterminate);
    m_shouldMonitorForBrokenExtension = false;
    if (!m_filterManager.isEnabled()) {
        status.set(Status::stopped);
        return;
    }
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
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
                const auto model = weakSelf.lock();
                if (!model) {
                    return;
                }
                if (error) {
                    logInfo("Failed to disable the filter configuration: " + *error);
                    model->status.set(Status::running);
                } else {
                    model->status.set(Status::stopped);
                }
            });
    });
}

void ConnectionsMonitorViewModel::toggle() {
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

void ConnectionsMonitorViewModel::handleNetworkStatusChange(bool connected) {
    dispatchPreconditionOnMain();
    isConnectedToNetwork.set(connected);
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

void ConnectionsMonitorViewModel::loadFilterConfiguration(std::function<void(bool)> completion) {
    m_filterManager.loadFromPreferences(
        [completion = std::move(completion)](const std::optional<std::string>& error) {
            if (error) {
                logInfo("Failed to load the filter configuration: " + *error);
            }
            completion(!error);
        });
}

void ConnectionsMonitorViewModel::registerWithExtension() {
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_ipcConnection.registerWithExtension(extensionBundle(), weak_from_this(),
                                          [weakSelf](bool registered) {
                                              if (const auto self = weakSelf.lock()) {
                                                  self->handleRegistration(registered);
                                              }
                                          });
}

void ConnectionsMonitorViewModel::handleRegistration(bool registered) {
    dispatchPreconditionOnMain();
    status.set(registered ? Status::running : Status::stopped);
    scanState.set(registered ? ScanState::active : ScanState::standBy);
}

void ConnectionsMonitorViewModel::applyFilterState() {
    if (m_filterManager.isEnabled()) {
        registerWithExtension();
    } else {
        status.set(Status::stopped);
        scanState.set(ScanState::standBy);
    }
}

void ConnectionsMonitorViewModel::refreshFilterStatus() {
    dispatchPreconditionOnMain();
    status.set(Status::indeterminate);
    if (!isNetworkUp()) {
        return;
    }
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
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

void ConnectionsMonitorViewModel::observeFilterConfiguration() {
    // One observer for the model's life: a second would register twice for every change.
    if (m_observer) {
        return;
    }
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_observer =
        m_notificationCenter.addObserver(NEFilterManager::configurationDidChangeNotification,
                                         m_mainQueue, [weakSelf](const Notification&) {
                                             if (const auto self = weakSelf.lock()) {
                                                 self->applyFilterState();
                                             }
                                         });
}

void ConnectionsMonitorViewModel::configureExtensionForFirstTime() {
    if (!isInstalled.get() || !isNetworkUp()) {
        return;
    }
    m_isConfiguringExtensionForFirstTime = true;
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_ipcConnection.registerWithExtension(extensionBundle(), weak_from_this(),
                                          [weakSelf](bool registered) {
                                              if (const auto self = weakSelf.lock()) {
                                                  self->handleFirstRegistration(registered);
                                              }
                                          });
}

void ConnectionsMonitorViewModel::handleFirstRegistration(bool registered) {
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
    after(1s, [](ConnectionsMonitorViewModel& self) { self.finishFirstConfiguration(); });
}

void ConnectionsMonitorViewModel::finishFirstConfiguration() {
    dispatchPreconditionOnMain();
    stopFilter();
    scanState.set(ScanState::standBy);
    m_isConfiguringExtensionForFirstTime = false;
    if (m_didFixExtension) {
        after(250ms, [](ConnectionsMonitorViewModel& self) { self.startMonitoring(); });
    }
}

void ConnectionsMonitorViewModel::enableFilterConfiguration() {
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
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
            const auto model = weakSelf.lock();
            if (!model) {
                return;
            }
            if (error) {
                logInfo("Failed to save the filter configuration: " + *error);
                model->status.set(Status::stopped);
            } else {
                model->registerWithExtension();
            }
        });
    });
}

void ConnectionsMonitorViewModel::unloadFilterConfiguration(std::function<void()> completion) {
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
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

void ConnectionsMonitorViewModel::activateSystemExtension(bool monitorForBrokenExtension) {
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

void ConnectionsMonitorViewModel::submitActivationRequest() {
    auto request = OSSystemExtensionRequest::activationRequest(
        *extensionBundle().bundleIdentifier(), m_mainQueue);
    request->setDelegate(weak_from_this());
    m_extensionManager.submitRequest(request);
}

void ConnectionsMonitorViewModel::continueExtensionInstallation() {
    dispatchPreconditionOnMain();
    activateSystemExtension(true);
    // The desktop has no page for system extensions: the link stays a constant and opens nothing.
    Settings::set(Value(true), SettingsKey::isSystemExtensionExplained);
}

void ConnectionsMonitorViewModel::cancelExtensionInstallation() {
    dispatchPreconditionOnMain();
    // Nothing was asked of the system: the start ends here, as stopped, and the explanation is
    // shown again next time.
    logInfo("The user cancelled the system extension installation");
    didInitiate.set(false);
    status.set(Status::stopped);
}

OSSystemExtensionReplacementAction ConnectionsMonitorViewModel::actionForReplacingExtension(
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
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    unloadFilterConfiguration([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->refreshFilterStatus();
        }
    });
    return OSSystemExtensionReplacementAction::replace;
}

void ConnectionsMonitorViewModel::requestNeedsUserApproval(
    const OSSystemExtensionRequest& request) {
    dispatchPreconditionOnMain();
    logInfo("Extension " + request.identifier() + " requires user approval");
}

void ConnectionsMonitorViewModel::requestDidFinishWithResult(
    const OSSystemExtensionRequest&, OSSystemExtensionRequestResult result) {
    dispatchPreconditionOnMain();
    if (result != OSSystemExtensionRequestResult::completed) {
        logInfo("Unexpected result " + std::to_string(static_cast<int>(result)) +
                " for system extension request");
        status.set(Status::stopped);
        return;
    }
    if (m_isUninstallingSystemExtension) {
        m_isUninstallingSystemExtension = false;
        isUndesirableCountriesListFetched.set(
            m_undesirableCountries.didFetchUndesirableCountries());
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

void ConnectionsMonitorViewModel::requestDidFailWithError(const OSSystemExtensionRequest&,
                                                          const OSSystemExtensionError& error) {
    dispatchPreconditionOnMain();
    logInfo("System extension request failed: " + error.localizedDescription);
    status.set(Status::stopped);
    // A removal that failed is no removal under way.
    m_isUninstallingSystemExtension = false;
    if (m_errorAlerts) {
        m_errorAlerts->presentError(error.localizedDescription);
    }
}

void ConnectionsMonitorViewModel::scheduleBrokenExtensionCheck() {
    if (!boolSetting(SettingsKey::isSystemExtensionExplained) ||
        !m_shouldMonitorForBrokenExtension || m_isUninstallingSystemExtension) {
        return;
    }
    after(1500ms, [](ConnectionsMonitorViewModel& self) { self.markFixingIfNoTraffic(); });
    after(didReplaceExtension.get() ? 3000ms : 4500ms,
          [](ConnectionsMonitorViewModel& self) { self.checkForBrokenExtension(); });
}

void ConnectionsMonitorViewModel::markFixingIfNoTraffic() {
    dispatchPreconditionOnMain();
    if (m_applications.empty() && m_shouldMonitorForBrokenExtension && isNetworkUp()) {
        setIsFixingBrokenExtension(true);
    }
}

void ConnectionsMonitorViewModel::checkForBrokenExtension() {
    dispatchPreconditionOnMain();
    if (m_applications.empty() && m_shouldMonitorForBrokenExtension && isNetworkUp()) {
        stopFilter();
        status.set(Status::stopped);
        m_shouldMonitorForBrokenExtension = false;
        Settings::set(Value(false), SettingsKey::isSystemExtensionExplained);
        std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
        m_mainQueue->async([weakSelf] {
            if (const auto self = weakSelf.lock()) {
                self->relaunchAfterRepair();
            }
        });
        return;
    }
    m_shouldMonitorForBrokenExtension = false;
    // Disarmed without a repair: the flag set by the first check must not make the next launch
    // believe it follows one.
    if (m_isFixingBrokenExtension.get()) {
        setIsFixingBrokenExtension(false);
    }
}

void ConnectionsMonitorViewModel::relaunchAfterRepair() {
    dispatchPreconditionOnMain();
    uninstallSystemExtension();
    if (m_windowKeyObserver) {
        return;
    }
    // One relaunch: the first window that becomes key starts it, later ones find it started.
    auto started = std::make_shared<bool>(false);
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_windowKeyObserver = m_notificationCenter.addObserver(
        kWindowDidBecomeKeyNotification, m_mainQueue, [weakSelf, started](const Notification&) {
            const auto self = weakSelf.lock();
            if (!self || std::exchange(*started, true)) {
                return;
            }
            self->after(1s, [](ConnectionsMonitorViewModel& model) { model.m_relaunch(); });
        });
}

void ConnectionsMonitorViewModel::uninstallSystemExtension() {
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

// MARK: Flow decision

void ConnectionsMonitorViewModel::promptUser(const FlowInfo& aboutFlow,
                                             ResponseHandler responseHandler) {
    decideFlow(aboutFlow, once(std::move(responseHandler)));
}

void ConnectionsMonitorViewModel::decideFlow(const FlowInfo& flowInfo,
                                             ResponseHandler responseHandler) {
    m_flowDecisions->decide(flowInfo, std::move(responseHandler));
}

ConnectionAlert ConnectionsMonitorViewModel::makeConnectionAlert(
    const FlowInfo& flowInfo, const std::string& countryCode) const {
    return m_flowDecisions->makeConnectionAlert(flowInfo, countryCode);
}

// MARK: Connection list

void ConnectionsMonitorViewModel::recordHit(const FlowInfo& flowInfo, bool isAllowed) {
    const auto* bundle = find(flowInfo, filterlink::kFlowInfoBundleId);
    const std::string bundleId = bundle ? *bundle : Application::kOtherProcess;
    if (bundleId == m_appBundleId) {
        return;
    }
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_mainQueue->async([weakSelf, bundleId, flowInfo, isAllowed] {
        if (const auto self = weakSelf.lock()) {
            self->insertHit(bundleId, flowInfo, isAllowed);
        }
    });
}

void ConnectionsMonitorViewModel::insertHit(const std::string& bundleId, const FlowInfo& flowInfo,
                                            bool isAllowed) {
    dispatchPreconditionOnMain();
    const auto found =
        std::find_if(m_applications.begin(), m_applications.end(),
                     [&](const auto& app) { return app->bundleIdentifier() == bundleId; });
    const auto* url = find(flowInfo, filterlink::kFlowInfoUrl);
    const auto& text = m_searchFilterText.get();
    const bool first = url && !text.empty() && url->find(text) != std::string::npos;
    if (found != m_applications.end()) {
        (*found)->addHit(flowInfo, isAllowed, !first);
    } else {
        auto application = std::make_shared<Application>(flowInfo, m_workspace, m_hitEnvironment);
        auto applications = m_applications;
        applications.push_back(application);
        setApplications(std::move(applications));
        application->addHit(flowInfo, isAllowed, !first);
    }
    updateMapAnnotations(false);
}

ConnectionsMonitorViewModel::ApplicationList ConnectionsMonitorViewModel::sortedForList(
    ApplicationList applications) {
    std::stable_sort(applications.begin(), applications.end(),
                     [](const auto& left, const auto& right) {
                         if (left->isWarning() != right->isWarning()) {
                             return left->isWarning();
                         }
                         return left->localizedName() < right->localizedName();
                     });
    return applications;
}

void ConnectionsMonitorViewModel::applySearchFilter() {
    dispatchPreconditionOnMain();
    const std::string text(trimmed(asciiLowercased(m_searchFilterText.get())));
    if (!m_showOnlyCompromised.get()) {
        applyTextFilter(text, m_applications);
        return;
    }
    ApplicationList compromised;
    // The map shows the expanded application's warnings: it is drawn afresh only when they
    // changed, not for every warning of another application.
    bool expandedChanged = false;
    for (const auto& application : m_applications) {
        if (!application->isWarning()) {
            continue;
        }
        HitList hits;
        for (const auto& hit : application->children.get()) {
            if (hit->isWarning()) {
                hits.push_back(hit);
            }
        }
        if (application == m_expandedInfoForApp.get() &&
            hits != application->compromisedChildren.get()) {
            expandedChanged = true;
        }
        application->compromisedChildren.set(hits);
        if (!hits.empty()) {
            compromised.push_back(application);
        }
    }
    applyTextFilter(text, std::move(compromised));
    if (expandedChanged) {
        updateMapAnnotations(true);
    }
}

void ConnectionsMonitorViewModel::applyTextFilter(const std::string& text,
                                                  ApplicationList applications) {
    // A true debounce: every change replaces the pending search with one for the newest text
    // and list, and an empty text applies at once.
    if (m_searchFilterWorkItem) {
        m_searchFilterWorkItem->cancel();
        m_searchFilterWorkItem.reset();
    }
    m_isUsingApplicationSearchFilter = !text.empty();
    if (text.empty()) {
        filteredHits.set(std::nullopt);
        filteredApplications.set(sortedForList(std::move(applications)));
        return;
    }
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    auto item = std::make_shared<DispatchWorkItem>([weakSelf, text, applications] {
        if (const auto self = weakSelf.lock()) {
            self->runSearch(text, applications);
        }
    });
    m_searchFilterWorkItem = item;
    auto mainQueue = m_mainQueue;
    m_filterQueue->asyncAfter(
        250ms,
        [item, mainQueue] {
            // The matching reads the tree, which only the main queue changes.
            mainQueue->async([item] { item->perform(); });
        },
        m_scheduler);
}

void ConnectionsMonitorViewModel::runSearch(const std::string& text,
                                            const ApplicationList& applications) {
    dispatchPreconditionOnMain();
    ApplicationList matching;
    HitList hits;
    for (const auto& application : applications) {
        auto children = application->children.get();
        HitList found;
        for (const auto& hit : children) {
            if (asciiLowercased(hit->url()).find(text) != std::string::npos) {
                found.push_back(hit);
            }
        }
        const bool nameMatches =
            asciiLowercased(application->localizedName()).find(text) != std::string::npos;
        if (!nameMatches && found.empty()) {
            continue;
        }
        for (const auto& hit : found) {
            children.erase(std::find(children.begin(), children.end(), hit));
            children.insert(children.begin(), hit);
        }
        if (!found.empty()) {
            application->children.set(children);
        }
        matching.push_back(application);
        hits.insert(hits.end(), found.begin(), found.end());
    }
    m_searchFilterWorkItem.reset();
    filteredApplications.set(sortedForList(std::move(matching)));
    filteredHits.set(hits);
}

void ConnectionsMonitorViewModel::clearAllResults() {
    dispatchPreconditionOnMain();
    filteredApplications.set({});
    setApplications({});
    setExpandedInfoForApp(nullptr);
    updateMapAnnotations(true);
}

void ConnectionsMonitorViewModel::updateMapAnnotations(bool reset) {
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_mainQueue->async([weakSelf, reset] {
        const auto self = weakSelf.lock();
        const auto coordinator = self ? self->m_mapCoordinator.lock() : nullptr;
        if (!coordinator) {
            return;
        }
        const auto expanded = self->m_expandedInfoForApp.get();
        if (!expanded) {
            const auto location = coordinator->userLocation();
            if (coordinator->canAnimateMap() && location) {
                coordinator->setRegion(*location, kUserRegionMetres);
                coordinator->setCanAnimateMap(false);
            }
            coordinator->removeAllAnnotationsAndOverlays();
            return;
        }
        HitList hits =
            self->filteredHits.get() ? *self->filteredHits.get() : expanded->children.get();
        if (self->m_showOnlyCompromised.get()) {
            hits = expanded->compromisedChildren.get();
        }
        coordinator->update(hits, reset);
    });
}

// MARK: Map and location

void ConnectionsMonitorViewModel::showMap() {
    dispatchPreconditionOnMain();
    if (m_locationManager->isAuthorized()) {
        showsMap.set(true);
        return;
    }
    std::weak_ptr<ConnectionsMonitorViewModel> weakSelf = weak_from_this();
    m_locationManager->requestAuthorization(
        [weakSelf] {
            if (const auto self = weakSelf.lock()) {
                self->userLocationUnavailability.set(UserLocationUnavailability::none);
                self->showsMap.set(true);
            }
        },
        // Without a way to allow the location, the map still shows the servers: circles and
        // city names, without lines from the user.
        [weakSelf](UserLocationUnavailability reason) {
            if (const auto self = weakSelf.lock()) {
                self->userLocationUnavailability.set(reason);
                self->showsMap.set(true);
            }
        });
}

void ConnectionsMonitorViewModel::hideMapIfLocationDenied() {
    dispatchPreconditionOnMain();
    // A map shown without the position has nothing the user could allow: it stays.
    if (!m_locationManager->isAuthorized() &&
        userLocationUnavailability.get() == UserLocationUnavailability::none) {
        showsMap.set(false);
    }
}

void ConnectionsMonitorViewModel::restoreMapIfLocationAllowed() {
    dispatchPreconditionOnMain();
    if (m_locationManager->isAuthorized()) {
        showsMap.set(true);
        showMap();
    } else if (boolSetting(SettingsKey::isUserLocationAllowed)) {
        // The service forgets the permission between launches; the user gave it before, so it is
        // asked for again without sending the user to the settings.
        showMap();
    }
}

}  // namespace tarnwick
