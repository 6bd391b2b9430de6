#pragma once

#include "AppStoreInfoProvider.h"
#include "Combine/AnyCancellable.h"
#include "Combine/PassthroughSubject.h"
#include "Dispatch/DispatchQueue.h"
#include "LocalApplicationsAnalyser.h"
#include "LocalApplicationsScanner.h"
#include "StaticAnalysisWorkflowStatus.h"
#include "Tools/DenyListProvider.h"
#include "Tools/DomainInfoProvider.h"
#include "Tools/Log/ContextLog.h"
#include "Tools/Preferences.h"
#include "Tools/UndesirableCountriesManagerType.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace tarnwick {

// One App Monitor scan: deny list, local applications, store records, the countries of their
// servers, then the detection checks. Each stage starts when the one before delivers, and sends
// its status on that stage's thread; each absorbs its own failures, so every scan ends with
// `nothingFound` or `potentiallyUnwantedAppsFound`. A new `start()` abandons the scan before it:
// its remaining stages do nothing and it delivers no result.
//
//   start -> starting, fetchingDenyList -> [deny list] -> fetchingLocalApplications -> [scan]
//     -> fetchingAppStoreInfo -> [lookup, merge] -> fetchingDomainsInfo -> [server lookups]
//     -> analysing -> [checks] -> finish
class StaticAnalysisWorkflow : public std::enable_shared_from_this<StaticAnalysisWorkflow> {
public:
    using Status = StaticAnalysisWorkflowStatus;
    using Applications = LocalApplicationsAnalyser::Applications;
    using Results = LocalApplicationsAnalyser::Results;

    // Made with std::make_shared. The target countries and the rules come from the given sources
    // (the shared ones in the application).
    StaticAnalysisWorkflow(std::shared_ptr<DenyListProvider> denyListProvider,
                           std::shared_ptr<LocalApplicationsScanner> applicationsScanner,
                           std::shared_ptr<AppStoreInfoProvider> appStoreInfoProvider,
                           std::shared_ptr<DomainInfoProvider> domainInfoProvider,
                           std::shared_ptr<LocalApplicationsAnalyser> applicationsAnalyser,
                           const UndesirableCountriesManagerType& undesirableCountries,
                           Preferences& preferences);
    ~StaticAnalysisWorkflow();

    // What the scan does when a check that needs the network could not run for lack of it (the
    // deny list's download; the look-ups of the applications' servers while the path is down):
    // `lackOfNetwork` is called, at most once per scan. `isPathSatisfied` is the connectivity
    // watch. Without them nothing is said.
    void setNetworkWatch(std::function<bool()> isPathSatisfied,
                         std::function<void()> lackOfNetwork);

    // Begins a scan and returns at once; `starting` and `fetchingDenyList` are sent before it
    // returns.
    void start();

    Publisher<Status> status() const { return m_status.publisher(); }
    Publisher<Results> potentiallyUnwantedApps() const {
        return m_potentiallyUnwantedApps.publisher();
    }

    // The rules of a scan: the stored selection followed by the required rules, or, with nothing
    // to read, the required rules followed by the recommended ones.
    std::vector<RestrictionPreference> rules() const;

private:
    using Generation = std::uint64_t;

    bool isCurrent(Generation generation) const { return m_generation.load() == generation; }
    void send(Status status, Generation generation);

    void fetchDenyList(Generation generation);
    void runStages(std::vector<DenyListProvider::Entry> denyList, Generation generation);
    void fetchAppStoreInfo(Applications applications, std::vector<DenyListProvider::Entry> denyList,
                           Generation generation);
    void fetchDomainsInfo(Applications applications, std::vector<DenyListProvider::Entry> denyList,
                          Generation generation);
    void analyse(Applications applications, std::vector<DenyListProvider::Entry> denyList,
                 Generation generation);
    void finish(Results results, Generation generation);
    void sayLackOfNetwork(Generation generation);

    std::shared_ptr<DenyListProvider> m_denyListProvider;
    std::shared_ptr<LocalApplicationsScanner> m_applicationsScanner;
    std::shared_ptr<AppStoreInfoProvider> m_appStoreInfoProvider;
    std::shared_ptr<DomainInfoProvider> m_domainInfoProvider;
    std::shared_ptr<LocalApplicationsAnalyser> m_applicationsAnalyser;
    const UndesirableCountriesManagerType& m_undesirableCountries;
    Preferences& m_preferences;
    std::function<bool()> m_isPathSatisfied;
    std::function<void()> m_lackOfNetwork;
    // The scan whose lack of network was said last.
    std::atomic<Generation> m_saidLackOfNetwork{0};

    AnyCancellable m_statusSubscriber;
    // Stands for the subscription to the current scan's chain: a stage of an older scan finds
    // another number here and stops.
    std::atomic<Generation> m_generation{0};
    std::shared_ptr<ContextLog> m_log;
    std::shared_ptr<DispatchQueue> m_internalQueue;
    PassthroughSubject<Status> m_status;
    PassthroughSubject<Results> m_potentiallyUnwantedApps;
};

}  // namespace tarnwick
