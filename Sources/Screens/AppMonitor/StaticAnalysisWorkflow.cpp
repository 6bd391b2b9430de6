#include "StaticAnalysisWorkflow.h"

#include "Dispatch/DispatchGroup.h"
#include "Tools/BundleUtilities.h"
#include "URLText.h"

#include <algorithm>
#include <mutex>

namespace tarnwick {

namespace {

// ["a", "b"]
template <typename Items, typename Describe>
std::string bracketed(const Items& items, Describe describe) {
    std::string text = "[";
    bool first = true;
    for (const auto& item : items) {
        text += (first ? "\"" : ", \"") + describe(item) + "\"";
        first = false;
    }
    return text + "]";
}

std::string describeReasons(const std::vector<DetectionReason>& reasons) {
    std::string text = "[";
    for (std::size_t index = 0; index < reasons.size(); ++index) {
        const auto& reason = reasons[index];
        text +=
            (index == 0 ? "" : ", ") + std::string(DetectionReason::caseName(reason.reasonCase()));
        if (!reason.value().empty()) {
            text += "(" + reason.value() + ")";
        }
    }
    return text + "]";
}

}  // namespace

StaticAnalysisWorkflow::StaticAnalysisWorkflow(
    std::shared_ptr<DenyListProvider> denyListProvider,
    std::shared_ptr<LocalApplicationsScanner> applicationsScanner,
    std::shared_ptr<AppStoreInfoProvider> appStoreInfoProvider,
    std::shared_ptr<DomainInfoProvider> domainInfoProvider,
    std::shared_ptr<LocalApplicationsAnalyser> applicationsAnalyser,
    const UndesirableCountriesManagerType& undesirableCountries, Preferences& preferences)
    : m_denyListProvider(std::move(denyListProvider))
    , m_applicationsScanner(std::move(applicationsScanner))
    , m_appStoreInfoProvider(std::move(appStoreInfoProvider))
    , m_domainInfoProvider(std::move(domainInfoProvider))
    , m_applicationsAnalyser(std::move(applicationsAnalyser))
    , m_undesirableCountries(undesirableCountries)
    , m_preferences(preferences)
    , m_log(std::make_shared<ContextLog>(LogContextType::staticAnalysis))
    , m_internalQueue(DispatchQueue::create(bundleQualifiedLabel("static-analysis-workflow"),
                                            QualityOfService::userInitiated)) {}

StaticAnalysisWorkflow::~StaticAnalysisWorkflow() {
    // Whatever still runs of the last scan finds it abandoned.
    ++m_generation;
}

void StaticAnalysisWorkflow::setNetworkWatch(std::function<bool()> isPathSatisfied,
                                             std::function<void()> lackOfNetwork) {
    m_isPathSatisfied = std::move(isPathSatisfied);
    m_lackOfNetwork = std::move(lackOfNetwork);
}

void StaticAnalysisWorkflow::sayLackOfNetwork(Generation generation) {
    if (!m_lackOfNetwork || !isCurrent(generation) ||
        m_saidLackOfNetwork.exchange(generation) == generation) {
        return;
    }
    m_log->warning("The network is missing: the checks that need it could not run.");
    m_lackOfNetwork();
}

void StaticAnalysisWorkflow::send(Status status, Generation generation) {
    if (isCurrent(generation)) {
        m_status.send(status);
    }
}

void StaticAnalysisWorkflow::start() {
    std::weak_ptr<ContextLog> log = m_log;
    m_statusSubscriber = m_status.publisher().sink([log](const Status& status) {
        if (auto alive = log.lock()) {
            alive->info("----- " + std::string(rawValue(status)) + " -----");
        }
    });
    const Generation generation = ++m_generation;
    send(Status::starting, generation);
    send(Status::fetchingDenyList, generation);
    std::weak_ptr<StaticAnalysisWorkflow> weak = weak_from_this();
    m_internalQueue->async([weak, generation] {
        if (auto self = weak.lock(); self && self->isCurrent(generation)) {
            self->fetchDenyList(generation);
        }
    });
}

void StaticAnalysisWorkflow::fetchDenyList(Generation generation) {
    std::weak_ptr<StaticAnalysisWorkflow> weak = weak_from_this();
    m_denyListProvider->fetchEntries(
        [weak, generation](Result<DenyListProvider::Database, DenyListProvider::Failure> result) {
            auto self = weak.lock();
            if (!self || !self->isCurrent(generation)) {
                return;
            }
            if (!result && result.error() == DenyListProvider::Failure::noNetwork) {
                self->sayLackOfNetwork(generation);
            }
            auto entries =
                result ? std::move(result->entries) : std::vector<DenyListProvider::Entry>{};
            if (result) {
                self->m_log->info("Did fetch deny list database with " +
                                  std::to_string(entries.size()) + " entries.");
            }
            self->runStages(std::move(entries), generation);
        });
}

void StaticAnalysisWorkflow::runStages(std::vector<DenyListProvider::Entry> denyList,
                                       Generation generation) {
    send(Status::fetchingLocalApplications, generation);
    std::weak_ptr<StaticAnalysisWorkflow> weak = weak_from_this();
    m_applicationsScanner->scan(
        {LocalApplicationsScanner::ScanLocation::rootApplicationsFolder(),
         LocalApplicationsScanner::ScanLocation::userDownloadsFolder(),
         LocalApplicationsScanner::ScanLocation::desktopApplications(),
         LocalApplicationsScanner::ScanLocation::appImages()},
        [weak, generation, denyList = std::move(denyList)](Applications scanned) mutable {
            auto self = weak.lock();
            if (!self || !self->isCurrent(generation)) {
                return;
            }
            Applications applications;
            for (auto& application : scanned) {
                if (application->bundleID().rfind("com.apple.", 0) != 0) {
                    applications.push_back(std::move(application));
                }
            }
            self->m_log->info(
                "Did find " + std::to_string(applications.size()) +
                " non-Apple applications: " + bracketed(applications, [](const auto& application) {
                    return application->logDescription();
                }));
            self->fetchAppStoreInfo(std::move(applications), std::move(denyList), generation);
        });
}

void StaticAnalysisWorkflow::fetchAppStoreInfo(Applications applications,
                                               std::vector<DenyListProvider::Entry> denyList,
                                               Generation generation) {
    send(Status::fetchingAppStoreInfo, generation);
    std::vector<std::string> identifiers;
    for (const auto& application : applications) {
        identifiers.push_back(application->bundleID());
    }
    std::weak_ptr<StaticAnalysisWorkflow> weak = weak_from_this();
    m_appStoreInfoProvider->fetchApplications(
        identifiers, [weak, generation, applications, denyList = std::move(denyList)](
                         Result<std::vector<AppStoreLookupResult::StoreApplication>,
                                AppStoreInfoProvider::LookupError>
                             result) mutable {
            auto self = weak.lock();
            if (!self || !self->isCurrent(generation)) {
                return;
            }
            if (!result &&
                result.error().code == AppStoreInfoProvider::LookupError::Code::notConfigured) {
                // A deployment without a store host: said once, never as a missing network.
                static std::once_flag said;
                std::call_once(said, [&] {
                    self->m_log->info(
                        "No store lookup service is configured; the store stage is skipped.");
                });
            }
            if (result) {
                if (result->empty()) {
                    self->m_log->info("Didn't find any AppStore info for the local applications.");
                } else {
                    self->m_log->info("Did find AppStore info for the following apps: " +
                                      bracketed(*result, [](const auto& record) {
                                          return record.shortDescription();
                                      }));
                }
                // Each record goes to the first application with its identifier; a later record
                // for the same identifier wins.
                for (auto& record : *result) {
                    auto match = std::find_if(applications.begin(), applications.end(),
                                              [&](const auto& application) {
                                                  return application->bundleID() == record.bundleID;
                                              });
                    if (match != applications.end()) {
                        (*match)->setAppStoreInfo(record);
                    }
                }
            }
            self->fetchDomainsInfo(std::move(applications), std::move(denyList), generation);
        });
}

void StaticAnalysisWorkflow::fetchDomainsInfo(Applications applications,
                                              std::vector<DenyListProvider::Entry> denyList,
                                              Generation generation) {
    send(Status::fetchingDomainsInfo, generation);
    auto group = std::make_shared<DispatchGroup>();
    auto failures = std::make_shared<std::atomic<std::size_t>>(0);
    std::weak_ptr<StaticAnalysisWorkflow> weak = weak_from_this();
    for (const auto& application : applications) {
        std::optional<std::string> address;
        const auto& record = application->appStoreInfo();
        if (record && record->sellerUrl && isURLText(*record->sellerUrl)) {
            address = record->sellerUrl;
        } else {
            address = application->feedURL();
        }
        if (!address) {
            continue;
        }
        auto host = urlHost(*address);
        if (!host) {
            continue;
        }
        group->enter();
        auto provider = m_domainInfoProvider;
        provider->internalQueue()->async([weak, group, failures, application, provider,
                                          host = *host] {
            auto self = weak.lock();
            if (!self) {
                group->leave();
                return;
            }
            std::weak_ptr<ContextLog> log = self->m_log;
            self.reset();
            provider->domainInfo(host, [log, group, failures, application,
                                        host](std::optional<DomainInfo> info) {
                auto alive = log.lock();
                if (info) {
                    if (alive) {
                        alive->info("Did fetch domain info for " + application->logDescription() +
                                    ": domain: " + info->domain + ", ip: " + info->ip +
                                    ", country: " + info->country);
                    }
                    application->setDomainInfo(std::move(info));
                } else {
                    ++*failures;
                    if (alive) {
                        alive->warning("Did fail to fetch info for domain " + host +
                                       ", app: " + application->logDescription());
                    }
                }
                group->leave();
            });
        });
    }
    group->notify(m_internalQueue, [weak, generation, group, failures, applications,
                                    denyList = std::move(denyList)]() mutable {
        if (auto self = weak.lock(); self && self->isCurrent(generation)) {
            // A look-up also fails for a host that does not exist: only with the path down is it
            // the network that was missing.
            if (*failures > 0 && self->m_isPathSatisfied && !self->m_isPathSatisfied()) {
                self->sayLackOfNetwork(generation);
            }
            self->analyse(std::move(applications), std::move(denyList), generation);
        }
    });
}

void StaticAnalysisWorkflow::analyse(Applications applications,
                                     std::vector<DenyListProvider::Entry> denyList,
                                     Generation generation) {
    send(Status::analysing, generation);
    const auto countries = m_undesirableCountries.currentUndesirableCountries();
    const bool russia =
        std::find(countries.begin(), countries.end(), Country::russia()) != countries.end();
    if (!russia) {
        denyList.clear();
    }
    std::weak_ptr<StaticAnalysisWorkflow> weak = weak_from_this();
    m_applicationsAnalyser->analyse(
        std::move(applications), std::move(denyList), rules(), [weak, generation](Results results) {
            if (auto self = weak.lock(); self && self->isCurrent(generation)) {
                self->finish(std::move(results), generation);
            }
        });
}

std::vector<RestrictionPreference> StaticAnalysisWorkflow::rules() const {
    auto rules = m_preferences.restrictions();
    auto required = RestrictionPreference::requiredRestrictions();
    if (!rules) {
        auto recommended = RestrictionPreference::recommendedRestrictions();
        required.insert(required.end(), recommended.begin(), recommended.end());
        return required;
    }
    rules->insert(rules->end(), required.begin(), required.end());
    return std::move(*rules);
}

void StaticAnalysisWorkflow::finish(Results results, Generation generation) {
    if (results.empty()) {
        m_log->info("Didn't find anything suspicious about the local applications.");
        send(Status::nothingFound, generation);
        if (isCurrent(generation)) {
            m_potentiallyUnwantedApps.send(results);
        }
        return;
    }
    m_log->info("Did find suspicious apps: " + bracketed(results, [](const auto& application) {
                    return "<" + application->name() + ": " +
                           describeReasons(application->reasons()) + ">";
                }));
    // The list goes first, so that a subscriber counting it when the final status comes sees it.
    if (isCurrent(generation)) {
        m_potentiallyUnwantedApps.send(results);
    }
    send(Status::potentiallyUnwantedAppsFound, generation);
}

}  // namespace tarnwick
