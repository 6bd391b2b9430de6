#pragma once

// A machine with found applications: fixture bundles in a temporary home, the deny list and the
// store lookup served on the loopback, and a real App Monitor model that scans them.

#include "Foundation/NotificationCenter.h"
#include "Screens/AppMonitor/AppMonitorViewModel.h"
#include "Sources/Screens/AppMonitor/AppMonitorTestSupport.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryDirectory.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tarnwick::testing {

class ScannedMachine {
public:
    ScannedMachine() {
        const auto applications = m_home / "Applications";
        write(applications, "Alpha.app", "ru.alpha.app");
        write(applications, "Delta.app", "com.delta.evil");
        write(applications, "Notes.app", "com.clean.notes");
        write(m_home / "Downloads", "Epsilon.app", "com.epsilon",
              executableWith({"https://api.epsilon.ru/v1", "https://cdn.epsilon.by/x"}));
        m_web.routes().Get("/application/macos-deny.json", [](const httplib::Request&,
                                                              httplib::Response& response) {
            response.set_content(R"([{"bundleIdSubstring": "delta.evil", "reason": "Spyware"}])",
                                 "application/json");
        });
        m_web.routes().Post("/lookup", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(R"({"resultCount": 0, "results": []})", "application/json");
        });
        m_web.start();
    }

    AppMonitorViewModel::Environment environment() {
        AppMonitorViewModel::Environment environment;
        environment.folders = {m_home / "Applications", m_home / "Downloads"};
        environment.denyListHost = m_web.baseURL();
        environment.lookupService = m_web.baseURL();
        environment.whois = std::make_shared<WhoIs>(m_web.baseURL());
        environment.resolver =
            DNSResolver([](const std::string&) -> std::optional<std::string> { return {}; });
        environment.undesirableCountries = &m_countries;
        environment.didFetchUndesirableCountries = [this] { return m_hasCountries; };
        environment.preferences = &m_preferences;
        environment.scheduler = &Scheduler::system();
        environment.denyListSession = std::make_shared<HTTPSession>();
        environment.storeSession = std::make_shared<HTTPSession>();
        // The views take the removal's answer at once; the model's own tests run it on its queue.
        environment.removalQueue = nullptr;
        environment.commandRunner = [this](const ProcessRequest& request) -> ProcessResult {
            // The remover is given "remove", the bundle, then its device and inode.
            const auto verb =
                std::find(request.arguments.begin(), request.arguments.end(), "remove");
            removals.push_back(verb != request.arguments.end() &&
                                       verb + 1 != request.arguments.end()
                                   ? *(verb + 1)
                                   : std::string());
            ProcessOutcome outcome;
            outcome.exitStatus = removalExitStatus;
            return outcome;
        };
        return environment;
    }

    std::shared_ptr<AppMonitorViewModel> makeModel() {
        return AppMonitorViewModel::make(center, environment());
    }

    // Runs a whole scan the way the scan button does, to the result list.
    static void scan(AppMonitorViewModel& model) {
        model.setScanState(ScanState::active);
        model.startScan();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return model.scanState().get() == ScanState::done; }, 60000));
    }

    std::filesystem::path home() const { return m_home.path(); }

    NotificationCenter center;
    bool m_hasCountries = true;
    int removalExitStatus = 0;
    std::vector<std::string> removals;

private:
    static void write(const std::filesystem::path& folder, std::string name, std::string id,
                      std::optional<std::string> executable = std::nullopt) {
        BundleFixture fixture;
        fixture.name = std::move(name);
        fixture.info = {{"CFBundleIdentifier", std::move(id)}};
        fixture.executable = std::move(executable);
        writeBundle(folder, fixture);
    }

    TemporaryDirectory m_home;
    LoopbackHttpServer m_web;
    FixedCountries m_countries{{"RU", "BY"}};
    Preferences m_preferences;
};

}  // namespace tarnwick::testing
