#include "ConnectionsMonitorViewModel.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "FilterLink/FilterLinkProtocol.h"
#include "Foundation/Text.h"
#include "Locale/Locale.h"
#include "Tools/DNSResolver.h"
#include "Tools/RequiredDependency.h"
#include "Tools/SettingsKey.h"

#include <algorithm>
#include <cstdlib>

namespace tarnwick {

using namespace std::chrono_literals;

namespace {

constexpr const char* kOwner = "ConnectionsMonitorViewModel";
constexpr double kUserRegionMetres = 1'500'000;

const std::string* find(const ConnectionsMonitorViewModel::FlowInfo& flowInfo, const char* key) {
    const auto found = flowInfo.find(key);
    return found == flowInfo.end() ? nullptr : &found->second;
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

}  // namespace

std::shared_ptr<ConnectionsMonitorViewModel> ConnectionsMonitorViewModel::create(
    Dependencies dependencies) {
    std::shared_ptr<ConnectionsMonitorViewModel> model(
        new ConnectionsMonitorViewModel(std::move(dependencies)));
    model->setUp();
    return model;
}

std::shared_ptr<ExtensionLifecycle> ConnectionsMonitorViewModel::makeLifecycle(
    const Dependencies& dependencies,
    const std::shared_ptr<std::weak_ptr<ConnectionsMonitorViewModel>>& owner) {
    ExtensionLifecycle::Owner lifecycleOwner;
    lifecycleOwner.appCommunication = [owner] { return std::weak_ptr<AppCommunication>(*owner); };
    lifecycleOwner.isInstalled = [owner] {
        const auto self = owner->lock();
        return self && self->isInstalled.get();
    };
    lifecycleOwner.hasRecordedTraffic = [owner] {
        const auto self = owner->lock();
        return self && !self->m_applications.empty();
    };
    lifecycleOwner.didStartMonitoring = [owner] {
        if (const auto self = owner->lock()) {
            self->updateMapAnnotations(false);
        }
    };
    lifecycleOwner.didRemoveExtension = [owner] {
        if (const auto self = owner->lock()) {
            self->isUndesirableCountriesListFetched.set(
                self->m_undesirableCountries.didFetchUndesirableCountries());
        }
    };
    return ExtensionLifecycle::create(
        {dependencies.filterManager, dependencies.extensionManager, dependencies.ipcConnection,
         dependencies.networkValidator, dependencies.scheduler, dependencies.notificationCenter,
         dependencies.mainBundle, dependencies.errorAlerts, dependencies.sheets,
         dependencies.relaunch},
        std::move(lifecycleOwner));
}

ConnectionsMonitorViewModel::ConnectionsMonitorViewModel(Dependencies dependencies)
    : m_lifecycle(makeLifecycle(dependencies, m_hitOwner))
    , status(m_lifecycle->status)
    , scanState(m_lifecycle->scanState)
    , didInitiate(m_lifecycle->didInitiate)
    , didReplaceExtension(m_lifecycle->didReplaceExtension)
    , m_locationManager(dependencies.locationManager
                            ? std::move(dependencies.locationManager)
                            : std::make_shared<LocationManager>(nullptr, dependencies.urlOpener))
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
    , m_urlOpener(std::move(dependencies.urlOpener))
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
    // The mover's own rule: the screen offers the move exactly when the mover would make it.
    const bool installed = dependencies.installLocations.isInstalled(m_mainBundle.bundlePath());
    isInstalled.set(installed);
    isUndesirableCountriesListFetched.set(m_undesirableCountries.didFetchUndesirableCountries());
    showsMap.set(m_locationManager->isAuthorized());
}

void ConnectionsMonitorViewModel::setUp() {
    dispatchPreconditionOnMain();
    *m_hitOwner = weak_from_this();
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
                self->m_lifecycle->toggle();
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

// MARK: Connectivity

void ConnectionsMonitorViewModel::handleNetworkStatusChange(bool connected) {
    dispatchPreconditionOnMain();
    isConnectedToNetwork.set(connected);
    m_lifecycle->networkStatusChanged(connected);
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
    } else if (const auto allowed = Settings::value(SettingsKey::isUserLocationAllowed);
               allowed && allowed->asBool() && *allowed->asBool()) {
        // The service forgets the permission between launches; the user gave it before, so it is
        // asked for again without sending the user to the settings.
        showMap();
    }
}

}  // namespace tarnwick
