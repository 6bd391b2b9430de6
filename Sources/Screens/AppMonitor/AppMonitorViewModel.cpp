#include "AppMonitorViewModel.h"

#include "ApplicationRemoval.h"
#include "BinaryStringsParserImpl.h"
#include "Dispatch/MainQueuePrecondition.h"
#include "Foundation/Bundle.h"
#include "InterfaceText.h"
#include "LocalApplicationsAnalyserImpl.h"
#include "Network/NetlinkPathSource.h"
#include "Privileged/AdministratorCommand.h"
#include "Privileged/ApplicationRemover.h"
#include "Privileged/PrivilegedPrograms.h"
#include "Tools/AnimationQueue.h"
#include "Tools/RequiredDependency.h"
#include "Tools/WhoIs.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace tarnwick {

namespace {

const char* const initialProgressText = "Your examined apps will appear here...";

constexpr const char* kOwner = "AppMonitorViewModel";

// Checked before any member uses it.
AppMonitorViewModel::Environment checked(AppMonitorViewModel::Environment environment) {
    (void)requiredDependency(environment.undesirableCountries, kOwner, "undesirableCountries");
    (void)requiredFunction(environment.didFetchUndesirableCountries, kOwner,
                           "didFetchUndesirableCountries");
    (void)requiredDependency(environment.preferences, kOwner, "preferences");
    (void)requiredDependency(environment.scheduler, kOwner, "scheduler");
    (void)requiredDependency(environment.denyListSession, kOwner, "denyListSession");
    (void)requiredDependency(environment.storeSession, kOwner, "storeSession");
    (void)requiredDependency(environment.whois, kOwner, "whois");
    return environment;
}

}  // namespace

std::shared_ptr<AppMonitorViewModel> AppMonitorViewModel::make(
    NotificationCenter& notificationCenter, Environment environment) {
    std::shared_ptr<AppMonitorViewModel> model(
        new AppMonitorViewModel(notificationCenter, std::move(environment)));
    model->build();
    return model;
}

AppMonitorViewModel::AppMonitorViewModel(NotificationCenter& notificationCenter,
                                         Environment environment)
    : m_environment(checked(std::move(environment)))
    , m_mainThread(DispatchQueue::main())
    , m_notificationCenter(notificationCenter)
    , m_progressDescription(initialProgressText)
    , m_animationManager(std::make_shared<AppMonitorAnimationManager>(
          *m_environment.scheduler,
          m_environment.random ? m_environment.random : AppMonitorAnimationManager::systemRandom()))
    , m_currentQuendleFrame(std::string(InterfaceText::quendleInitialFrame)) {
    m_didFetchUndesirableCountries.set(m_environment.didFetchUndesirableCountries());
}

AppMonitorViewModel::~AppMonitorViewModel() {
    if (m_networkUpdatesObserver) {
        m_notificationCenter.removeObserver(m_networkUpdatesObserver);
    }
    m_animationManager->setAnimationTimer(nullptr);
}

void AppMonitorViewModel::build() {
    const auto& countries = *m_environment.undesirableCountries;
    auto isPathSatisfied = m_environment.isPathSatisfied;
    if (!isPathSatisfied) {
        isPathSatisfied = [] {
            return NetlinkPathSource::readCurrentPath().status == NetworkPath::Status::satisfied;
        };
    }
    auto denyListProvider = std::make_shared<DenyListProvider>(
        m_environment.denyListSession, countries, m_environment.denyListHost, isPathSatisfied);
    auto scanner = std::make_shared<LocalApplicationsScanner>(m_environment.folders);
    // The notice goes to the center this model listens on.
    auto storeProvider = std::make_shared<AppStoreInfoProvider>(
        m_environment.storeSession, m_notificationCenter, m_environment.lookupService,
        m_environment.isPathSatisfied);
    auto domainProvider =
        std::make_shared<DomainInfoProvider>(m_environment.whois, m_environment.resolver);
    auto analyser = std::make_shared<LocalApplicationsAnalyserImpl>(
        std::make_shared<BinaryStringsParserImpl>(), countries);
    m_analysisWorkflow = std::make_shared<StaticAnalysisWorkflow>(
        std::move(denyListProvider), std::move(scanner), std::move(storeProvider),
        std::move(domainProvider), std::move(analyser), countries, *m_environment.preferences);
    // The deny list and the servers' look-ups need the network as the store does: their lack of
    // it is the same notice, to the center this model listens on.
    auto* center = &m_notificationCenter;
    m_analysisWorkflow->setNetworkWatch(isPathSatisfied, [center] {
        center->post(std::string(AppStoreInfoProvider::noNetworkNotification));
    });

    std::weak_ptr<AppMonitorViewModel> weak = weak_from_this();
    m_animationManager->start([weak](const std::string& frame) {
        if (auto self = weak.lock()) {
            self->setCurrentQuendleFrame(frame);
        }
    });
    m_analysisWorkflow->potentiallyUnwantedApps()
        .receive(m_mainThread)
        .sink([weak](const Applications& applications) {
            if (auto self = weak.lock()) {
                dispatchPreconditionOnMain();
                self->m_puApplications.set(applications);
            }
        })
        .store(m_cancellables);
    m_analysisWorkflow->status()
        .receive(m_mainThread)
        .sink([weak](const Status& status) {
            if (auto self = weak.lock()) {
                self->apply(status);
            }
        })
        .store(m_cancellables);
}

void AppMonitorViewModel::startScan() {
    dispatchPreconditionOnMain();
    if (!m_didFetchUndesirableCountries.get()) {
        return;
    }
    m_networkStatusForLastScan.set(true);
    apply(Status::validatingNetwork);
    // One observer per scan: the previous scan's goes first, so one notice counts once.
    if (m_networkUpdatesObserver) {
        m_notificationCenter.removeObserver(m_networkUpdatesObserver);
        m_networkUpdatesObserver.reset();
    }
    std::weak_ptr<AppMonitorViewModel> weak = weak_from_this();
    // The notice may come twice before the main queue removes the observer: only the first counts.
    auto counted = std::make_shared<std::atomic<bool>>(false);
    m_networkUpdatesObserver = m_notificationCenter.addObserver(
        std::string(AppStoreInfoProvider::noNetworkNotification), nullptr,
        [weak, counted](const Notification&) {
            auto self = weak.lock();
            if (!self || counted->exchange(true)) {
                return;
            }
            self->m_mainThread->async([weak] {
                auto model = weak.lock();
                if (!model) {
                    return;
                }
                model->setNetworkStatus(false);
                if (model->m_networkUpdatesObserver) {
                    model->m_notificationCenter.removeObserver(model->m_networkUpdatesObserver);
                    model->m_networkUpdatesObserver.reset();
                }
            });
        });
    m_analysisWorkflow->start();
}

void AppMonitorViewModel::setNetworkStatus(bool available) {
    dispatchPreconditionOnMain();
    m_networkStatusForLastScan.set(available);
}

std::string AppMonitorViewModel::progressText(std::optional<Status> status,
                                              std::size_t foundCount) {
    if (!status) {
        return initialProgressText;
    }
    switch (*status) {
        case Status::starting:
            return "Starting analysis...";
        case Status::validatingNetwork:
            return "Validating network connection...";
        case Status::fetchingDenyList:
            return "Fetching Deny-List Database...";
        case Status::fetchingLocalApplications:
            return "Scanning for local applications...";
        case Status::fetchingAppStoreInfo:
            return "Fetching info from the AppStore...";
        case Status::fetchingDomainsInfo:
            return "Fetching info about application servers...";
        case Status::analysing:
            return "Analysing gathered data...";
        case Status::filteringByThreshold:
            return "Filtering results by detection accuracy...";
        case Status::potentiallyUnwantedAppsFound:
            return "Found " + std::to_string(foundCount) + " potentially unwanted applications";
        case Status::nothingFoundNoNetwork:
            return "No potentially unwanted applications detected, connect to the internet to "
                   "increase accuracy";
        case Status::nothingFound:
            return "No potentially unwanted applications detected";
    }
    return initialProgressText;
}

void AppMonitorViewModel::apply(std::optional<Status> status) {
    dispatchPreconditionOnMain();
    if (status == Status::nothingFound && !m_networkStatusForLastScan.get()) {
        status = Status::nothingFoundNoNetwork;
    }
    m_status.set(status);
    m_progressDescription.set(progressText(status, m_puApplications.get().size()));
    if (!status) {
        return;
    }
    std::weak_ptr<AppMonitorViewModel> weak = weak_from_this();
    switch (*status) {
        case Status::starting:
            m_animationManager->startScanAnimation(weak);
            break;
        case Status::analysing:
            m_animationManager->startThinkingAnimation();
            break;
        case Status::potentiallyUnwantedAppsFound:
            m_animationManager->scheduleFoundAnimation(
                [weak](const std::string& frame) {
                    if (auto self = weak.lock()) {
                        self->setCurrentQuendleFrame(frame);
                    }
                },
                [weak] {
                    if (auto self = weak.lock()) {
                        self->foundEnding();
                    }
                });
            break;
        case Status::nothingFoundNoNetwork:
        case Status::nothingFound:
            nothingFoundEnding();
            break;
        default:
            break;
    }
}

void AppMonitorViewModel::foundEnding() {
    dispatchPreconditionOnMain();
    setScanState(ScanState::done);
    m_animationManager->setAnimationTimer(nullptr);
}

void AppMonitorViewModel::nothingFoundEnding() {
    dispatchPreconditionOnMain();
    auto& manager = *m_animationManager;
    manager.setIsIdle(false);
    manager.setAnimationTimer(nullptr);
    if (const auto& queue = manager.animationQueue()) {
        queue->queue().clear();
    }
    setCurrentQuendleFrame(std::string(InterfaceText::quendleHappy));
    setScanState(ScanState::standBy);
    if (const auto& queue = manager.animationQueue()) {
        queue->setScanState(manager.scanState());
        (void)queue->resetToDefaultSequence();  // no timer plays it: "Happy" stays
    }
    manager.setIsAnalyzing(false);
}

void AppMonitorViewModel::setScanState(ScanState scanState) {
    dispatchPreconditionOnMain();
    m_scanState.set(scanState);
    m_animationManager->setScanState(scanState);
}

void AppMonitorViewModel::setCurrentQuendleFrame(const std::string& frame) {
    dispatchPreconditionOnMain();
    m_currentQuendleFrame.set(frame);
}

void AppMonitorViewModel::refreshDidFetchUndesirableCountries() {
    dispatchPreconditionOnMain();
    m_didFetchUndesirableCountries.set(m_environment.didFetchUndesirableCountries());
}

void AppMonitorViewModel::removeApplication(const std::shared_ptr<PUApplication>& application,
                                            std::function<void(bool removed)> completion) {
    dispatchPreconditionOnMain();
    // An earlier removal's error must not be told for this one.
    m_lastRemovalError.reset();
    // The scanned bundle itself: a look-up by identifier could find another copy.
    if (!application || !application->bundleURL()) {
        finishRemoval(application, Failure{std::string()}, std::move(completion));
        return;
    }
    // Everything the work needs is copied: it must not touch the model off the main queue.
    auto work = [name = application->name(), origin = application->origin(),
                 bundle = *application->bundleURL(), runner = m_environment.commandRunner,
                 remover = m_environment.applicationRemover]() -> Result<void, std::string> {
        if (origin && origin->kind != ApplicationOrigin::Kind::bundle) {
            return ApplicationRemoval::remove(name, *origin, runner);
        }
        if (removeApplicationBundle(bundle, runner, remover)) {
            return {};
        }
        return Failure{std::string()};
    };
    if (!m_environment.removalQueue) {
        finishRemoval(application, work(), std::move(completion));
        return;
    }
    m_environment.removalQueue->async([weak = weak_from_this(), main = m_mainThread, application,
                                       work = std::move(work),
                                       completion = std::move(completion)]() mutable {
        auto removal = work();
        main->async([weak, application, removal = std::move(removal),
                     completion = std::move(completion)]() mutable {
            if (auto self = weak.lock()) {
                self->finishRemoval(application, std::move(removal), std::move(completion));
            }
        });
    });
}

void AppMonitorViewModel::finishRemoval(const std::shared_ptr<PUApplication>& application,
                                        Result<void, std::string> removal,
                                        std::function<void(bool)> completion) {
    dispatchPreconditionOnMain();
    if (!removal) {
        // A bundle's remover says only that it failed; the pop-up says so in its own words.
        if (!removal.error().empty()) {
            m_lastRemovalError = removal.error();
        }
        if (completion) {
            completion(false);
        }
        return;
    }
    auto applications = m_puApplications.get();
    auto found = std::find_if(applications.begin(), applications.end(),
                              [&](const auto& entry) { return *entry == *application; });
    if (found != applications.end()) {
        applications.erase(found);
        m_puApplications.set(applications);
    }
    if (completion) {
        m_mainThread->asyncAfter(
            std::chrono::seconds(2), [completion = std::move(completion)] { completion(true); },
            *m_environment.scheduler);
    }
}

std::filesystem::path defaultApplicationRemover() {
    return PrivilegedPrograms::locate(ApplicationRemover::kProgramName);
}

bool removeApplicationBundle(const std::filesystem::path& bundleURL,
                             const CommandRunner& commandRunner,
                             const std::filesystem::path& remover) {
    std::filesystem::path path = bundleURL;
    if (!path.empty() && !path.has_filename()) {
        path = path.parent_path();  // "X.app/" names X.app
    }
    const auto identity = ApplicationRemover::check(path);
    if (!identity) {
        return false;
    }
    return AdministratorCommand::run(remover.string(),
                                     ApplicationRemover::arguments(path, *identity), commandRunner)
        .ok();
}

}  // namespace tarnwick
