#pragma once

#include "BinaryStringsParser.h"
#include "Dispatch/DispatchQueue.h"
#include "LocalApplicationsAnalyser.h"
#include "Tools/UndesirableCountriesManagerType.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The evidence of one application that the checks read, with "" for what is missing.
struct AppDataForAnalysis {
    std::shared_ptr<LocalApplication> app;
    std::string title;
    std::string bundleID;
    std::string appStoreTitle;
    std::string sellerURL;
    std::string description;
    std::string sellerName;
    std::string artistName;
    std::string copyrightString;
    std::vector<DenyListProvider::Entry> denyList;
};

// Runs one check per rule over every application, the applications side by side on a concurrent
// queue, and reports those with reasons sorted by name. Each check compares one kind of evidence
// with every target country (read afresh each time) and adds a reason per country that matches;
// missing evidence gives no reason, never an error.
class LocalApplicationsAnalyserImpl final
    : public LocalApplicationsAnalyser,
      public std::enable_shared_from_this<LocalApplicationsAnalyserImpl> {
public:
    using Check = std::function<std::vector<DetectionReason>(const AppDataForAnalysis&)>;

    // The national search company whose name in a URL of the executable ties it to "RU"; the
    // social network's domain is DetectionReason::socialNetworkDomainName.
    static constexpr std::string_view searchCompanyName = "yandex";

    // Made with std::make_shared: running work keeps the analyser alive.
    // Without an icon lookup, the shared workspace's is used.
    LocalApplicationsAnalyserImpl(std::shared_ptr<const BinaryStringsParser> binaryStringsParser,
                                  const UndesirableCountriesManagerType& undesirableCountries,
                                  PUApplication::IconLookup iconLookup = {});

    void analyse(Applications applications, std::vector<DenyListProvider::Entry> denyList,
                 std::vector<RestrictionPreference> rules, Completion completion) override;

    // The work of one application: nothing when no check gives a reason.
    std::shared_ptr<PUApplication> analyse(const std::shared_ptr<LocalApplication>& application,
                                           const std::vector<DenyListProvider::Entry>& denyList,
                                           const std::vector<RestrictionPreference>& rules) const;

    std::vector<Check> detectionChecks(const std::vector<RestrictionPreference>& rules) const;
    // The reasons of all checks, each once, in the order first found.
    static std::vector<DetectionReason> runChecks(const std::vector<Check>& checks,
                                                  const AppDataForAnalysis& data);
    static AppDataForAnalysis makeAppDataForAnalysis(
        const std::shared_ptr<LocalApplication>& application,
        std::vector<DenyListProvider::Entry> denyList);
    // Lower-case target country codes, in the target countries' order.
    std::vector<std::string> targetCountryTokens() const;

    const std::shared_ptr<DispatchQueue>& internalQueue() const { return m_internalQueue; }
    // How many applications one analysis checks at a time: bounded by the cores and by the
    // string budget, never by the number of applications.
    static std::size_t concurrentApplications();

private:
    Check check(DetectionReason::Case reasonCase) const;

    std::shared_ptr<const BinaryStringsParser> m_binaryStringsParser;
    const UndesirableCountriesManagerType& m_undesirableCountries;
    PUApplication::IconLookup m_iconLookup;
    std::shared_ptr<DispatchQueue> m_internalQueue;
};

// Whether `text` names the country-code `token` as a domain label ("x.by/", ".by ", "by." at the
// start, ".by" at the end...), letter case aside; "bytes" or "baby" do not.
bool mentionsDomain(std::string_view text, std::string_view token);
// Whether `text` is written in the language `languageCode` ("ru" texts are told apart from
// Ukrainian only).
bool isDominantLanguage(std::string_view text, std::string_view languageCode);

}  // namespace tarnwick
