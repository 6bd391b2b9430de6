#include "AppMonitorTestSupport.h"
#include "Dispatch/RunLoop.h"
#include "Screens/AppMonitor/AppMonitorViewModel.h"
#include "Screens/AppMonitor/InterfaceText.h"
#include "Sources/Tools/GeoIPTestServer.h"
#include "support/LoopbackHttpServer.h"
#include "support/MissingDependency.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

using namespace tarnwick::testing;
using Status = StaticAnalysisWorkflowStatus;

void bundle(const std::filesystem::path& folder, std::string name, Value::Dictionary info,
            std::optional<std::string> executable = std::nullopt,
            std::vector<std::string> localizations = {}) {
    BundleFixture fixture;
    fixture.name = std::move(name);
    fixture.info = std::move(info);
    fixture.executable = std::move(executable);
    fixture.localizations = std::move(localizations);
    writeBundle(folder, fixture);
}

const char* const gammaRecord = R"({"resultCount": 1, "results": [{"trackName": "Gamma Pro",
    "artworkUrl512": "https://a/512.png", "primaryGenreName": "Utilities", "screenshotUrls": [],
    "trackViewUrl": "https://store/gamma", "bundleId": "com.gamma",
    "sellerUrl": "https://gamma.example.com", "sellerName": "ООО Гамма Софт и партнёры"}]})";

// Notes every command and answers that it succeeded.
CommandRunner recordingRunner(std::vector<ProcessRequest>& requests) {
    return [&requests](const ProcessRequest& request) -> ProcessResult {
        requests.push_back(request);
        ProcessOutcome outcome;
        outcome.exitStatus = 0;
        return outcome;
    };
}

// A machine with six applications in its two folders, and the web services on the loopback.
class WholeScanTest : public ::testing::Test {
protected:
    WholeScanTest() {
        const auto applications = m_home / "Applications";
        const auto downloads = m_home / "Downloads";
        bundle(applications, "Alpha.app", {{"CFBundleIdentifier", "ru.alpha.app"}});
        bundle(applications, "Beta.app",
               {{"CFBundleIdentifier", "com.beta.tool"},
                {"SUFeedURL", "https://updates.beta.example/feed.xml"}});
        bundle(applications, "Gamma.app", {{"CFBundleIdentifier", "com.gamma"}});
        bundle(applications, "Delta.app", {{"CFBundleIdentifier", "com.delta.evil"}});
        bundle(applications, "Clean.app", {{"CFBundleIdentifier", "com.clean.notes"}},
               executableWith({"https://clean.example.com/"}), {"en"});
        bundle(applications, "Safari.app", {{"CFBundleIdentifier", "com.apple.ru.tool"}});
        bundle(downloads, "Epsilon.app", {{"CFBundleIdentifier", "com.epsilon"}},
               executableWith({"https://API.epsilon.ru/v1", "plain text"}));

        m_web.routes().Get("/application/macos-deny.json",
                           [](const httplib::Request&, httplib::Response& response) {
                               response.set_content(
                                   R"([{"bundleIdSubstring": "Delta.Evil", "reason": "Spyware",
                                        "humanReadableDescription": "Sends your files away"}])",
                                   "application/json");
                           });
        m_web.routes().Post("/lookup",
                            [this](const httplib::Request& request, httplib::Response& response) {
                                std::lock_guard lock(m_mutex);
                                m_lookupBody = request.body;
                                response.set_content(gammaRecord, "application/json");
                            });
        m_web.start();
        m_geo.setAnswer("198.51.100.7", R"({"country": {"isoCode": "RU"}})");
        LogHub::addDestination(m_log);
    }
    ~WholeScanTest() override { LogHub::removeDestination(m_log); }

    AppMonitorViewModel::Environment environment() {
        AppMonitorViewModel::Environment environment;
        environment.folders = {m_home / "Applications", m_home / "Downloads"};
        environment.denyListHost = m_web.baseURL();
        environment.lookupService = m_web.baseURL();
        environment.whois = std::make_shared<WhoIs>(m_geo.service());
        environment.resolver =
            DNSResolver([](const std::string& host) -> std::optional<std::string> {
                if (host == "updates.beta.example") {
                    return "198.51.100.7";
                }
                if (host == "gamma.example.com") {
                    return "192.0.2.1";
                }
                return std::nullopt;
            });
        environment.undesirableCountries = &m_countries;
        environment.didFetchUndesirableCountries = [] { return true; };
        environment.preferences = &m_preferences;
        environment.scheduler = &Scheduler::system();
        environment.denyListSession = std::make_shared<HTTPSession>();
        environment.storeSession = std::make_shared<HTTPSession>();
        return environment;
    }

    std::shared_ptr<AppMonitorViewModel> makeModel(AppMonitorViewModel::Environment environment) {
        // A center of the model's own: the store's notice must reach the one the model listens on.
        auto model = AppMonitorViewModel::make(m_center, std::move(environment));
        m_statusToken = model->status().sink([this](const std::optional<Status>& status) {
            if (status) {
                m_statuses.push_back(*status);
            }
        });
        return model;
    }

    NotificationCenter m_center;
    TemporaryDirectory m_home;
    LoopbackHttpServer m_web;
    GeoIPTestServer m_geo;
    FixedCountries m_countries{{"RU", "BY"}};
    Preferences m_preferences;
    std::mutex m_mutex;
    std::string m_lookupBody;
    std::shared_ptr<RecordingDestination> m_log = std::make_shared<RecordingDestination>();
    std::vector<Status> m_statuses;
    AnyCancellable m_statusToken;
};

TEST_F(WholeScanTest, AMissingServiceIsAConstructionErrorNamingIt) {
    using Environment = AppMonitorViewModel::Environment;
    const std::vector<std::pair<const char*, std::function<void(Environment&)>>> rows = {
        {"undesirableCountries", [](Environment& e) { e.undesirableCountries = nullptr; }},
        {"didFetchUndesirableCountries",
         [](Environment& e) { e.didFetchUndesirableCountries = nullptr; }},
        {"preferences", [](Environment& e) { e.preferences = nullptr; }},
        {"scheduler", [](Environment& e) { e.scheduler = nullptr; }},
        {"denyListSession", [](Environment& e) { e.denyListSession.reset(); }},
        {"storeSession", [](Environment& e) { e.storeSession.reset(); }},
        {"whois", [](Environment& e) { e.whois.reset(); }},
    };
    for (const auto& [member, remove] : rows) {
        SCOPED_TRACE(member);
        Environment incomplete = environment();
        remove(incomplete);
        expectRefusedWithout(
            member, [&] { (void)AppMonitorViewModel::make(m_center, std::move(incomplete)); });
    }
}

TEST_F(WholeScanTest, EndsWithTheSortedFindingsAndTheirReasons) {
    auto model = makeModel(environment());
    EXPECT_EQ(model->progressDescription().get(), "Your examined apps will appear here...");
    EXPECT_EQ(model->currentQuendleFrame().get(), "Welcome1");
    model->setScanState(ScanState::active);
    model->startScan();
    EXPECT_EQ(model->progressDescription().get(), "Validating network connection...");
    ASSERT_TRUE(
        RunLoop::main().runUntil([&] { return model->scanState().get() == ScanState::done; }, 60s));

    EXPECT_EQ(m_statuses,
              (std::vector<Status>{Status::validatingNetwork, Status::starting,
                                   Status::fetchingDenyList, Status::fetchingLocalApplications,
                                   Status::fetchingAppStoreInfo, Status::fetchingDomainsInfo,
                                   Status::analysing, Status::potentiallyUnwantedAppsFound}));
    const auto found = model->puApplications().get();
    std::vector<std::string> names;
    for (const auto& application : found) {
        names.push_back(application->name());
    }
    ASSERT_EQ(names, (std::vector<std::string>{"Alpha", "Beta", "Delta", "Epsilon", "Gamma Pro"}));
    const Country russia("RU");
    const auto reasonsOf = [&](std::size_t index) { return found[index]->reasons(); };
    EXPECT_EQ(reasonsOf(0), std::vector<DetectionReason>{DetectionReason::bundleID("ru")});
    EXPECT_EQ(reasonsOf(1), std::vector<DetectionReason>{
                                DetectionReason::applicationServer(russia.countryName())});
    EXPECT_EQ(found[1]->webURL(), "updates.beta.example");
    EXPECT_EQ(reasonsOf(2), std::vector<DetectionReason>{DetectionReason::custom("Spyware")});
    EXPECT_EQ(found[2]->additionalInfo(), "Sends your files away");
    EXPECT_EQ(reasonsOf(3), std::vector<DetectionReason>{DetectionReason::binaryURLs(
                                russia.countryName(), {"https://api.epsilon.ru/v1"})});
    EXPECT_EQ(reasonsOf(4), std::vector<DetectionReason>{
                                DetectionReason::sellerName("ООО Гамма Софт и партнёры")});
    EXPECT_EQ(found[4]->webURL(), "https://gamma.example.com");

    EXPECT_EQ(model->progressDescription().get(), "Found 5 potentially unwanted applications");
    EXPECT_EQ(model->currentQuendleFrame().get(), "Found");
    EXPECT_TRUE(model->networkStatusForLastScan().get());
    {
        std::lock_guard lock(m_mutex);
        EXPECT_NE(m_lookupBody.find("bundleId=ru.alpha.app%2Ccom.beta.tool%2Ccom.clean.notes%2C"
                                    "com.delta.evil%2Ccom.gamma%2Ccom.epsilon"),
                  std::string::npos)
            << m_lookupBody;
    }
    const auto lines = m_log->messages();
    const auto logged = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(logged("----- starting -----"));
    EXPECT_TRUE(logged("----- potentiallyUnwantedAppsFound -----"));
    EXPECT_TRUE(logged("Did fetch deny list database with 1 entries."));
    EXPECT_TRUE(
        logged("Did find 6 non-Apple applications: [\"Alpha (ru.alpha.app)\", "
               "\"Beta (com.beta.tool)\", \"Clean (com.clean.notes)\", "
               "\"Delta (com.delta.evil)\", \"Gamma (com.gamma)\", "
               "\"Epsilon (com.epsilon)\"]"));
    EXPECT_TRUE(
        logged("Did find AppStore info for the following apps: [\"Gamma Pro (com.gamma)\"]"));
    EXPECT_TRUE(
        logged("Did fetch domain info for Beta (com.beta.tool): domain: "
               "updates.beta.example, ip: 198.51.100.7, country: RU"));
}

TEST_F(WholeScanTest, NothingFoundWithoutNetworkSaysSo) {
    auto offline = environment();
    // Offline: no name resolves, and the connectivity watch says the path is down.
    offline.lookupService = "http://store.invalid/";
    offline.isPathSatisfied = [] { return false; };
    offline.folders = {m_home / "Nothing", m_home / "Downloads"};
    m_countries.set({"BY"});
    std::filesystem::remove_all(m_home / "Downloads");
    auto model = makeModel(offline);
    model->setScanState(ScanState::active);
    model->startScan();
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] { return model->status().get() == Status::nothingFoundNoNetwork; }, 60s));
    EXPECT_FALSE(model->networkStatusForLastScan().get());
    EXPECT_EQ(model->progressDescription().get(),
              "No potentially unwanted applications detected, connect to the internet to increase "
              "accuracy");
    EXPECT_EQ(model->currentQuendleFrame().get(), "Happy");
    EXPECT_EQ(model->scanState().get(), ScanState::standBy);
    EXPECT_TRUE(model->puApplications().get().empty());
}

TEST_F(WholeScanTest, OfflineChecksBesideTheStoreSaySoToo) {
    // No store lookup is configured, so only the deny list and the servers' look-ups need the
    // network here.
    bundle(m_home / "Offline", "Beta.app",
           {{"CFBundleIdentifier", "com.beta.tool"},
            {"SUFeedURL", "https://updates.beta.example/feed.xml"}});
    std::filesystem::remove_all(m_home / "Downloads");
    struct Row {
        const char* name;
        std::vector<std::string> targets;
        const char* folder;
        bool pathUp;
        Status expected;
    };
    const Row rows[] = {
        {"the deny list cannot be fetched",
         {"RU"},
         "Nothing",
         false,
         Status::nothingFoundNoNetwork},
        {"the servers cannot be looked up",
         {"BY"},
         "Offline",
         false,
         Status::nothingFoundNoNetwork},
        // Online, a host that does not resolve is the host's matter, not the network's.
        {"a server does not resolve while online", {"BY"}, "Offline", true, Status::nothingFound},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto offline = environment();
        offline.lookupService = "";
        offline.denyListHost = "http://deny.invalid/";
        offline.isPathSatisfied = [up = row.pathUp] { return up; };
        offline.resolver = DNSResolver([](const std::string&) { return std::nullopt; });
        offline.folders = {m_home / row.folder, m_home / "Downloads"};
        m_countries.set(row.targets);
        auto model = makeModel(offline);
        model->setScanState(ScanState::active);
        model->startScan();
        ASSERT_TRUE(RunLoop::main().runUntil(
            [&] {
                return model->status().get() == Status::nothingFound ||
                       model->status().get() == Status::nothingFoundNoNetwork;
            },
            60s));
        EXPECT_EQ(model->status().get(), row.expected);
        EXPECT_EQ(model->networkStatusForLastScan().get(), row.pathUp);
    }
}

TEST_F(WholeScanTest, AScanStartedTwiceDeliversOnlyTheSecond) {
    auto model = makeModel(environment());
    std::atomic<int> results{0};
    auto token =
        model->analysisWorkflow()->potentiallyUnwantedApps().sink([&](const auto&) { ++results; });
    model->startScan();
    model->startScan();
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] { return model->status().get() == Status::potentiallyUnwantedAppsFound; }, 60s));
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(results, 1);
    EXPECT_EQ(std::count(m_statuses.begin(), m_statuses.end(), Status::starting), 2);
}

TEST_F(WholeScanTest, TheNoNetworkNoticeCountsOncePerScan) {
    NotificationCenter center;
    auto model = AppMonitorViewModel::make(center, environment());
    int falses = 0;
    auto token = model->networkStatusForLastScan().sink(
        [&](bool available) { falses += available ? 0 : 1; });
    const auto notice = std::string(AppStoreInfoProvider::noNetworkNotification);
    center.post(notice);  // before any scan: nobody listens
    RunLoop::main().runFor(100ms);
    EXPECT_EQ(falses, 0);
    model->startScan();
    model->startScan();  // the first scan's observer goes before the second's comes
    center.post(notice);
    center.post(notice);
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(falses, 1);
    EXPECT_FALSE(model->networkStatusForLastScan().get());
    // The scan reads the fixture's target countries until it ends.
    EXPECT_TRUE(RunLoop::main().runUntil(
        [&] { return model->status().get() == Status::potentiallyUnwantedAppsFound; }, 60s));
}

TEST_F(WholeScanTest, ProgressTextsAndTheGate) {
    struct Row {
        std::optional<Status> status;
        const char* text;
    };
    const Row rows[] = {
        {std::nullopt, "Your examined apps will appear here..."},
        {Status::starting, "Starting analysis..."},
        {Status::validatingNetwork, "Validating network connection..."},
        {Status::fetchingDenyList, "Fetching Deny-List Database..."},
        {Status::fetchingLocalApplications, "Scanning for local applications..."},
        {Status::fetchingAppStoreInfo, "Fetching info from the AppStore..."},
        {Status::fetchingDomainsInfo, "Fetching info about application servers..."},
        {Status::analysing, "Analysing gathered data..."},
        {Status::filteringByThreshold, "Filtering results by detection accuracy..."},
        {Status::potentiallyUnwantedAppsFound, "Found 3 potentially unwanted applications"},
        {Status::nothingFound, "No potentially unwanted applications detected"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AppMonitorViewModel::progressText(row.status, 3), row.text);
        if (row.status) {
            EXPECT_EQ(staticAnalysisWorkflowStatusFromRawValue(rawValue(*row.status)), row.status);
        }
    }
    EXPECT_EQ(staticAnalysisWorkflowStatusFromRawValue("Starting"), std::nullopt);

    auto gated = environment();
    gated.didFetchUndesirableCountries = [] { return false; };
    auto model = makeModel(gated);
    model->startScan();
    RunLoop::main().runFor(200ms);
    EXPECT_TRUE(m_statuses.empty());
    model->apply(Status::filteringByThreshold);
    EXPECT_EQ(model->progressDescription().get(), "Filtering results by detection accuracy...");
}

TEST_F(WholeScanTest, RemovalTakesTheScannedBundleAndChecksItsPath) {
    std::vector<ProcessRequest> requests;
    auto withRunner = environment();
    withRunner.applicationRemover = "/opt/remover";
    // The password prompt stays open until the test answers it.
    std::promise<void> answered;
    auto answer = answered.get_future().share();
    withRunner.commandRunner = [answer,
                                inner = recordingRunner(requests)](const ProcessRequest& request) {
        answer.wait();
        return inner(request);
    };
    auto model = makeModel(withRunner);
    model->startScan();
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] { return model->status().get() == Status::potentiallyUnwantedAppsFound; }, 60s));
    const auto first = model->puApplications().get().front();
    std::optional<bool> completed;
    model->removeApplication(first, [&](bool removed) { completed = removed; });
    // Meanwhile the main queue, which serves the window and the extension's link, keeps turning.
    bool served = false;
    DispatchQueue::main()->async([&] { served = true; });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return served; }, 10s));
    EXPECT_EQ(model->puApplications().get().size(), 5u);
    answered.set_value();
    ASSERT_TRUE(
        RunLoop::main().runUntil([&] { return model->puApplications().get().size() == 4u; }, 10s));
    ASSERT_EQ(requests.size(), 1u);
    // The remover gets the folder that was checked: it removes nothing else.
    struct stat checked {};
    ASSERT_EQ(::lstat((m_home / "Applications/Alpha.app").c_str(), &checked), 0);
    EXPECT_EQ(requests[0].arguments,
              (std::vector<std::string>{
                  "pkexec", "/opt/remover", "remove", (m_home / "Applications/Alpha.app").string(),
                  std::to_string(checked.st_dev), std::to_string(checked.st_ino)}));
    EXPECT_FALSE(completed);
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return completed.has_value(); }, 5s));
    EXPECT_EQ(completed, true);

    // Paths that must never reach the removal.
    std::filesystem::create_directories(m_home / "Folder");
    std::filesystem::create_symlink(m_home / "Applications/Beta.app", m_home / "Link.app");
    std::filesystem::create_directory_symlink(m_home / "Applications", m_home / "LinkedFolder");
    for (const std::filesystem::path& path :
         {std::filesystem::path("/"), std::filesystem::path("/Applications"),
          m_home / "Applications", m_home / "Folder", m_home / "Link.app", m_home / "Missing.app",
          std::filesystem::path("Applications/Beta.app"),
          m_home / "Applications/../Applications/Beta.app", m_home / "LinkedFolder/Beta.app"}) {
        SCOPED_TRACE(path.string());
        EXPECT_FALSE(removeApplicationBundle(path, withRunner.commandRunner, "/opt/remover"));
    }
    EXPECT_EQ(requests.size(), 1u);

    // A refused password keeps the row and completes at once.
    withRunner.commandRunner = [](const ProcessRequest&) -> ProcessResult {
        ProcessOutcome outcome;
        outcome.exitStatus = 126;
        return outcome;
    };
    auto refusing = makeModel(withRunner);
    refusing->startScan();
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] { return refusing->status().get() == Status::potentiallyUnwantedAppsFound; }, 60s));
    std::optional<bool> refusedCompletion;
    refusing->removeApplication(refusing->puApplications().get().front(),
                                [&](bool removed) { refusedCompletion = removed; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return refusedCompletion.has_value(); }, 10s));
    EXPECT_EQ(refusedCompletion, false);
    EXPECT_EQ(refusing->puApplications().get().size(), 5u);
}

TEST_F(WholeScanTest, FindsTheDesktopsApplicationsAndRemovesThemByKind) {
    // An entry a user could write, pointing at a real program with a target-country address.
    writeFile(m_home / "share/applications/ru-client.desktop",
              "[Desktop Entry]\nType=Application\nName=Ru Client\nExec=" +
                  std::string(TEST_RU_CLIENT) + " %U\n");
    writeFile(m_home / "flatpak/exports/share/applications/org.example.Flat.desktop",
              "[Desktop Entry]\nType=Application\nName=Flat\nX-Flatpak=org.example.Flat\n"
              "Exec=flatpak run --command=flat org.example.Flat\n");
    const auto flat = m_home / "flatpak/app/org.example.Flat/current/active/files/bin/flat";
    std::filesystem::create_directories(flat.parent_path());
    std::filesystem::copy_file(TEST_RU_CLIENT, flat);
    std::vector<ProcessRequest> requests;
    auto desktop = environment();
    desktop.folders.desktop.dataHome = m_home / "share";
    desktop.folders.desktop.dataDirs = {m_home / "flatpak/exports/share"};
    desktop.commandRunner = recordingRunner(requests);
    auto model = makeModel(desktop);
    model->startScan();
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] { return model->status().get() == Status::potentiallyUnwantedAppsFound; }, 60s));
    std::map<std::string, std::shared_ptr<PUApplication>> found;
    for (const auto& application : model->puApplications().get()) {
        found[application->bundleId()] = application;
    }
    ASSERT_TRUE(found.count("ru-client"));
    ASSERT_TRUE(found.count("org.example.Flat"));
    EXPECT_EQ(found["ru-client"]->reasons(),
              std::vector<DetectionReason>{DetectionReason::binaryURLs(
                  Country::russia().countryName(), {"https://telemetry.example.ru/collect"})});

    // An entry nothing installed is not removed; the Flatpak goes with flatpak.
    const auto remove = [&](const std::shared_ptr<PUApplication>& application) {
        std::optional<bool> answer;
        model->removeApplication(application, [&](bool removed) { answer = removed; });
        EXPECT_TRUE(RunLoop::main().runUntil([&] { return answer.has_value(); }, 10s));
        return answer.value_or(false);
    };
    EXPECT_FALSE(remove(found["ru-client"]));
    ASSERT_TRUE(model->lastRemovalError());
    EXPECT_TRUE(requests.empty());
    EXPECT_TRUE(remove(found["org.example.Flat"]));
    EXPECT_FALSE(model->lastRemovalError());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].arguments,
              (std::vector<std::string>{"flatpak", "uninstall", "--noninteractive", "--system",
                                        "org.example.Flat"}));
    EXPECT_FALSE(std::any_of(
        model->puApplications().get().begin(), model->puApplications().get().end(),
        [](const auto& application) { return application->bundleId() == "org.example.Flat"; }));
}

}  // namespace
}  // namespace tarnwick
