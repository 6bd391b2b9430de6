#pragma once

#include "Dispatch/RunLoop.h"
#include "Screens/AppMonitor/AppStoreInfoProvider.h"
#include "Screens/AppMonitor/BinaryStringsParserImpl.h"
#include "Screens/AppMonitor/LocalApplicationsAnalyserImpl.h"
#include "Screens/AppMonitor/StaticAnalysisWorkflow.h"
#include "support/LoopbackHttpServer.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace tarnwick::bench {

class BenchCountries final : public UndesirableCountriesManagerType {
public:
    std::vector<Country> currentUndesirableCountries() const override {
        return {Country("RU"), Country("BY")};
    }
};

// The web services of a scan on the loopback: a one-entry deny list, a store that knows nothing
// and a geo-IP service that places every server in Germany.
class ScanServices {
public:
    // The rules are saved in a settings folder of the run's own, never the user's.
    explicit ScanServices(const std::filesystem::path& configHome) {
        ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        m_preferences = std::make_unique<Preferences>();
        m_web.routes().Get("/application/macos-deny.json", [](const httplib::Request&,
                                                              httplib::Response& response) {
            response.set_content(R"([{"bundleIdSubstring": "app13", "reason": "bench"}])",
                                 "application/json");
        });
        m_web.routes().Post("/lookup", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(R"({"resultCount": 0, "results": []})", "application/json");
        });
        m_web.routes().Get(R"(/v1/geoip/ip/([^/]+)/info)", [](const httplib::Request&,
                                                              httplib::Response& response) {
            response.set_content(R"({"country": {"isoCode": "DE"}})", "application/json");
        });
        m_web.start();
    }

    // Runs one whole scan of `folders` with every rule in force; the number of findings, or
    // nothing when the scan did not end in two minutes.
    std::optional<std::size_t> scan(const LocalApplicationsScanner::Folders& folders) {
        std::vector<RestrictionPreference> allRules;
        for (const auto& reason : DetectionReason::allCases()) {
            allRules.emplace_back(reason);
        }
        m_preferences->saveRestrictions(allRules);
        auto workflow = std::make_shared<StaticAnalysisWorkflow>(
            std::make_shared<DenyListProvider>(std::make_shared<HTTPSession>(), m_countries,
                                               m_web.baseURL()),
            std::make_shared<LocalApplicationsScanner>(folders),
            std::make_shared<AppStoreInfoProvider>(std::make_shared<HTTPSession>(),
                                                   NotificationCenter::defaultCenter(),
                                                   m_web.baseURL()),
            std::make_shared<DomainInfoProvider>(
                m_web.baseURL(),
                DNSResolver([](const std::string&) { return std::string("192.0.2.10"); })),
            std::make_shared<LocalApplicationsAnalyserImpl>(
                std::make_shared<BinaryStringsParserImpl>(), m_countries),
            m_countries, *m_preferences);
        std::atomic<std::size_t> found{0};
        std::atomic<bool> done{false};
        auto token = workflow->potentiallyUnwantedApps().sink(
            [&](const StaticAnalysisWorkflow::Results& results) {
                found = results.size();
                done = true;
            });
        workflow->start();
        if (!RunLoop::main().runUntil([&] { return done.load(); }, std::chrono::minutes(2))) {
            return std::nullopt;
        }
        return found.load();
    }

private:
    testing::LoopbackHttpServer m_web;
    BenchCountries m_countries;
    std::unique_ptr<Preferences> m_preferences;
};

}  // namespace tarnwick::bench
