#include "LocalApplicationsAnalyserImpl.h"

#include "CodeSigningInfoModel.h"
#include "Dispatch/DispatchGroup.h"
#include "Locale/UnicodeText.h"
#include "NaturalLanguage/LanguageRecognizer.h"
#include "StringReadBudget.h"
#include "Tools/BundleUtilities.h"
#include "URLText.h"
#include "Workspace/Workspace.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace tarnwick {

namespace {

using Case = DetectionReason::Case;

std::string lower(std::string_view text) {
    return UnicodeText::lowercased(text);
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The first deny-list entry whose substring the bundle identifier holds, letter case aside.
const DenyListProvider::Entry* firstDenyListMatch(const std::vector<DenyListProvider::Entry>& list,
                                                  const std::string& bundleID) {
    const auto identifier = lower(bundleID);
    for (const auto& entry : list) {
        if (contains(identifier, lower(entry.bundleIdSubstring))) {
            return &entry;
        }
    }
    return nullptr;
}

std::vector<std::string> storeLanguages(const LocalApplication& application) {
    const auto& record = application.appStoreInfo();
    if (!record || !record->languageCodesISO2A) {
        return {};
    }
    return *record->languageCodesISO2A;
}

bool holdsLanguage(const std::vector<std::string>& languages, const std::string& code) {
    const auto wanted = lower(code);
    return std::any_of(languages.begin(), languages.end(),
                       [&](const std::string& language) { return lower(language) == wanted; });
}

}  // namespace

bool mentionsDomain(std::string_view text, std::string_view token) {
    const auto t = lower(text);
    const auto k = lower(token);
    return startsWith(t, k + ".") || contains(t, " " + k + ".") || contains(t, "." + k + ".") ||
           contains(t, "." + k + "/") || contains(t, "/" + k + ".") || contains(t, "." + k + " ") ||
           endsWith(t, "." + k);
}

bool isDominantLanguage(std::string_view text, std::string_view languageCode) {
    const auto code = lower(languageCode);
    LanguageRecognizer recognizer;
    if (code == "ru") {
        recognizer.setLanguageConstraints({"uk", "ru"});
    }
    recognizer.processString(text);
    const auto& dominant = recognizer.dominantLanguage();
    return dominant && lower(*dominant) == code;
}

LocalApplicationsAnalyserImpl::LocalApplicationsAnalyserImpl(
    std::shared_ptr<const BinaryStringsParser> binaryStringsParser,
    const UndesirableCountriesManagerType& undesirableCountries,
    PUApplication::IconLookup iconLookup)
    : m_binaryStringsParser(std::move(binaryStringsParser))
    , m_undesirableCountries(undesirableCountries)
    , m_iconLookup(iconLookup ? std::move(iconLookup)
                              : PUApplication::workspaceIconLookup(Workspace::shared()))
    , m_internalQueue(DispatchQueue::create(bundleQualifiedLabel("app-analysis"),
                                            QualityOfService::userInitiated,
                                            DispatchQueue::Attributes::concurrent)) {}

std::vector<std::string> LocalApplicationsAnalyserImpl::targetCountryTokens() const {
    std::vector<std::string> tokens;
    for (const auto& country : m_undesirableCountries.currentUndesirableCountries()) {
        tokens.push_back(lower(country.countryCode()));
    }
    return tokens;
}

AppDataForAnalysis LocalApplicationsAnalyserImpl::makeAppDataForAnalysis(
    const std::shared_ptr<LocalApplication>& application,
    std::vector<DenyListProvider::Entry> denyList) {
    AppDataForAnalysis data;
    data.app = application;
    data.title = application->title();
    data.bundleID = application->bundleID();
    if (const auto& record = application->appStoreInfo()) {
        data.appStoreTitle = record->title;
        data.sellerURL = record->sellerUrl.value_or("");
        data.description = record->description.value_or("");
        data.sellerName = record->sellerName.value_or("");
        data.artistName = record->artistName.value_or("");
    }
    data.copyrightString = application->copyrightString().value_or("");
    data.denyList = std::move(denyList);
    return data;
}

LocalApplicationsAnalyserImpl::Check LocalApplicationsAnalyserImpl::check(Case reasonCase) const {
    // Checks run on the analyser's queue while the analyser lives (its work holds it).
    const auto countries = [this] { return m_undesirableCountries.currentUndesirableCountries(); };
    // Token test first, then the language of the text, as for copyright, seller and artist.
    const auto tokenOrLanguage = [countries](const std::string& text, auto makeReason) {
        std::vector<DetectionReason> reasons;
        for (const auto& country : countries()) {
            if (mentionsDomain(text, country.countryCode()) ||
                isDominantLanguage(text, country.languageCode())) {
                reasons.push_back(makeReason(country));
            }
        }
        return reasons;
    };
    const auto languageOf = [countries](const std::string& text, auto makeReason) {
        std::vector<DetectionReason> reasons;
        for (const auto& country : countries()) {
            if (isDominantLanguage(text, country.languageCode())) {
                reasons.push_back(makeReason(country.languageName()));
            }
        }
        return reasons;
    };
    // One entry that is the language, or up to two that hold it.
    const auto languageList = [countries](const std::vector<std::string>& languages,
                                          std::size_t most, auto makeReason) {
        std::vector<DetectionReason> reasons;
        if (languages.empty() || languages.size() > most) {
            return reasons;
        }
        for (const auto& country : countries()) {
            if (holdsLanguage(languages, country.languageCode())) {
                reasons.push_back(makeReason(country.languageName()));
            }
        }
        return reasons;
    };

    switch (reasonCase) {
        case Case::custom:
            return [](const AppDataForAnalysis& data) -> std::vector<DetectionReason> {
                if (const auto* entry = firstDenyListMatch(data.denyList, data.bundleID)) {
                    return {DetectionReason::custom(entry->reason)};
                }
                return {};
            };
        case Case::bundleID:
            return [this](const AppDataForAnalysis& data) {
                std::vector<DetectionReason> reasons;
                for (const auto& token : targetCountryTokens()) {
                    if (mentionsDomain(data.bundleID, token)) {
                        reasons.push_back(DetectionReason::bundleID(token));
                    }
                }
                return reasons;
            };
        case Case::sellerUrl:
            return [this](const AppDataForAnalysis& data) {
                std::vector<DetectionReason> reasons;
                for (const auto& token : targetCountryTokens()) {
                    if (mentionsDomain(data.sellerURL, token)) {
                        reasons.push_back(DetectionReason::sellerUrl(data.sellerURL));
                    }
                }
                return reasons;
            };
        case Case::socialNetworkDomain:
            return [countries](const AppDataForAnalysis& data) -> std::vector<DetectionReason> {
                const auto targets = countries();
                const bool russia =
                    std::find(targets.begin(), targets.end(), Country::russia()) != targets.end();
                if (russia &&
                    contains(lower(data.sellerURL), DetectionReason::socialNetworkDomainName)) {
                    return {DetectionReason::socialNetworkDomain()};
                }
                return {};
            };
        case Case::appStoreTitle:
            return [languageOf](const AppDataForAnalysis& data) {
                return languageOf(data.appStoreTitle, DetectionReason::appStoreTitle);
            };
        case Case::appStoreDescription:
            return [languageList](const AppDataForAnalysis& data) {
                return languageList(storeLanguages(*data.app), 1,
                                    DetectionReason::appStoreDescription);
            };
        case Case::appStoreSecondary:
            return [languageList](const AppDataForAnalysis& data) {
                return languageList(storeLanguages(*data.app), 2,
                                    DetectionReason::appStoreSecondary);
            };
        case Case::title:
            return [languageOf](const AppDataForAnalysis& data) {
                return languageOf(data.title, DetectionReason::title);
            };
        case Case::description:
            return [languageOf](const AppDataForAnalysis& data) {
                return languageOf(data.description, DetectionReason::description);
            };
        case Case::signingCertificate:
            return [countries](const AppDataForAnalysis& data) {
                std::vector<DetectionReason> reasons;
                if (!data.app->mayCarryCodeSignature()) {
                    return reasons;
                }
                const CodeSigningInfoModel model(data.app->bundleURL().string());
                if (!model.status()) {
                    return reasons;
                }
                std::vector<std::string> origins;
                for (const auto& origin : model.status()->certificatesOrigins()) {
                    origins.push_back(lower(origin));
                }
                for (const auto& country : countries()) {
                    if (std::find(origins.begin(), origins.end(), lower(country.countryCode())) !=
                        origins.end()) {
                        reasons.push_back(DetectionReason::signingCertificate(
                            country.countryName(), model.status()->teamId()));
                    }
                }
                return reasons;
            };
        case Case::localization:
            return [languageList](const AppDataForAnalysis& data) {
                return languageList(data.app->localizations(), 1, DetectionReason::localization);
            };
        case Case::secondaryLocalization:
            return [languageList](const AppDataForAnalysis& data) {
                return languageList(data.app->localizations(), 2,
                                    DetectionReason::secondaryLocalization);
            };
        case Case::copyright:
            return [tokenOrLanguage](const AppDataForAnalysis& data) {
                return tokenOrLanguage(data.copyrightString, [](const Country& country) {
                    return DetectionReason::copyright(country.languageName());
                });
            };
        case Case::sellerName:
            return [tokenOrLanguage](const AppDataForAnalysis& data) {
                return tokenOrLanguage(data.sellerName, [&](const Country&) {
                    return DetectionReason::sellerName(data.sellerName);
                });
            };
        case Case::artistName:
            return [tokenOrLanguage](const AppDataForAnalysis& data) {
                return tokenOrLanguage(data.artistName, [&](const Country&) {
                    return DetectionReason::artistName(data.artistName);
                });
            };
        case Case::binaryURLs:
            return [this, countries](const AppDataForAnalysis& data) {
                std::vector<DetectionReason> reasons;
                const auto targets = countries();
                if (targets.empty()) {
                    return reasons;
                }
                // Read once: every country looks at the same strings.
                const auto code = data.app->codeURL();
                const auto strings =
                    code.empty() ? CStringList() : m_binaryStringsParser->parse(code);
                for (const auto& country : targets) {
                    const auto token = lower(country.countryCode());
                    std::vector<std::string> kept;
                    for (const auto& text : strings) {
                        if (!startsWith(text, "http")) {
                            continue;
                        }
                        if (mentionsDomain(text, token) ||
                            (token == "ru" &&
                             (contains(text, DetectionReason::socialNetworkDomainName) ||
                              contains(text, searchCompanyName)))) {
                            kept.emplace_back(text);
                        }
                    }
                    if (!kept.empty()) {
                        reasons.push_back(
                            DetectionReason::binaryURLs(country.countryName(), std::move(kept)));
                    }
                }
                return reasons;
            };
        case Case::applicationServer:
            return [countries](const AppDataForAnalysis& data) {
                std::vector<DetectionReason> reasons;
                const auto& info = data.app->domainInfo();
                if (!info) {
                    return reasons;
                }
                for (const auto& country : countries()) {
                    if (lower(info->country) == lower(country.countryCode())) {
                        reasons.push_back(
                            DetectionReason::applicationServer(country.countryName()));
                    }
                }
                return reasons;
            };
    }
    return [](const AppDataForAnalysis&) { return std::vector<DetectionReason>{}; };
}

std::vector<LocalApplicationsAnalyserImpl::Check> LocalApplicationsAnalyserImpl::detectionChecks(
    const std::vector<RestrictionPreference>& rules) const {
    std::vector<Check> checks;
    for (const auto& rule : rules) {
        checks.push_back(check(rule.reason().reasonCase()));
    }
    return checks;
}

std::vector<DetectionReason> LocalApplicationsAnalyserImpl::runChecks(
    const std::vector<Check>& checks, const AppDataForAnalysis& data) {
    std::vector<DetectionReason> reasons;
    std::unordered_set<DetectionReason> seen;
    for (const auto& run : checks) {
        for (auto& reason : run(data)) {
            if (seen.insert(reason).second) {
                reasons.push_back(std::move(reason));
            }
        }
    }
    return reasons;
}

std::shared_ptr<PUApplication> LocalApplicationsAnalyserImpl::analyse(
    const std::shared_ptr<LocalApplication>& application,
    const std::vector<DenyListProvider::Entry>& denyList,
    const std::vector<RestrictionPreference>& rules) const {
    auto reasons = runChecks(detectionChecks(rules), makeAppDataForAnalysis(application, denyList));
    if (reasons.empty()) {
        return nullptr;
    }
    const auto* match = firstDenyListMatch(denyList, application->bundleID());
    const auto& record = application->appStoreInfo();
    std::optional<std::string> webURL;
    if (record && record->sellerUrl) {
        webURL = record->sellerUrl;
    } else if (application->feedURL()) {
        webURL = urlHost(*application->feedURL());
    }
    auto found = std::make_shared<PUApplication>(
        record ? record->title : application->title(), application->bundleURL(),
        application->bundleID(), std::move(webURL), std::move(reasons),
        match != nullptr ? match->humanReadableDescription : std::nullopt,
        match != nullptr ? match->webLink : std::nullopt, m_iconLookup);
    found->setOrigin(application->origin());
    return found;
}

std::size_t LocalApplicationsAnalyserImpl::concurrentApplications() {
    // A check blocks on the string budget while others hold it, and a blocked work item would
    // make the worker pool start another thread: so only as many applications are checked at a
    // time as there are cores, and no more than the budget lets read their executables at once.
    constexpr std::size_t kTypicalLeaseBytes = 4u << 20;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t readers =
        std::max<std::size_t>(1, StringReadBudget::shared().totalBytes() / kTypicalLeaseBytes);
    return std::max<std::size_t>(2, std::min(cores, readers));
}

void LocalApplicationsAnalyserImpl::analyse(Applications applications,
                                            std::vector<DenyListProvider::Entry> denyList,
                                            std::vector<RestrictionPreference> rules,
                                            Completion completion) {
    struct Run {
        std::mutex mutex;
        Results results;
        DispatchGroup group;
        Applications applications;
        std::atomic<std::size_t> next{0};
        std::vector<DenyListProvider::Entry> denyList;
        std::vector<RestrictionPreference> rules;
    };
    auto run = std::make_shared<Run>();
    run->applications = std::move(applications);
    run->denyList = std::move(denyList);
    run->rules = std::move(rules);
    auto self = shared_from_this();
    // A few lanes, each taking the next application until none is left: the applications are
    // still checked side by side, on a bounded number of threads.
    const std::size_t lanes = std::min(run->applications.size(), concurrentApplications());
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        run->group.enter();
        m_internalQueue->async([self, run] {
            for (auto index = run->next++; index < run->applications.size(); index = run->next++) {
                if (auto found =
                        self->analyse(run->applications[index], run->denyList, run->rules)) {
                    std::lock_guard lock(run->mutex);
                    run->results.push_back(std::move(found));
                }
            }
            run->group.leave();
        });
    }
    run->group.notify(m_internalQueue, [run, completion = std::move(completion)] {
        std::sort(run->results.begin(), run->results.end(),
                  [](const auto& a, const auto& b) { return a->name() < b->name(); });
        completion(std::move(run->results));
    });
}

}  // namespace tarnwick
