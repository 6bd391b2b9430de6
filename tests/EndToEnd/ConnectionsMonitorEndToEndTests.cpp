// The whole Connections Monitor as root in network namespaces of the test's own: the application's
// engine (headless, its alert answered by a script) activates the real extension through the
// system-extension stand-in, switches the filter on and decides the connections the test makes,
// with a geo-IP service on the loopback. Skipped elsewhere.

#include "FilterExtension/NetworkSandbox.h"
#include "Foundation/Bundle.h"
#include "Foundation/UserDefaults.h"
#include "Privileged/SystemExtensionHelper.h"
#include "Sources/Tools/GeoIPTestServer.h"
#include "Tools/AllowanceList.h"
#include "Tools/SettingsKey.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <future>
#include <map>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

constexpr auto kWait = 15s;
constexpr std::uint16_t kPort = 7000;
// The DNS server and the server in "DE" share the sandbox's server address.
const char* const kGermanServer = NetworkSandbox::kServerAddress;
const char* const kRussianServer = "10.200.1.3";
const char* const kRussianName = "ru.tarnwick.test";

class ConnectionsMonitorEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        if (fs::path(TARNWICK_INSTALLED_APPLICATION).string().rfind("/usr/local/lib/", 0) != 0) {
            GTEST_SKIP() << "the installed application " << TARNWICK_INSTALLED_APPLICATION
                         << " lies outside the folders a test can make its own";
        }
        m_sandbox = std::make_unique<NetworkSandbox>();
        m_sandbox->addServerAddress(kRussianServer);
        m_servers.push_back(SocketServer::tcpPong(server(), kGermanServer, kPort));
        m_servers.push_back(SocketServer::tcpPong(server(), kRussianServer, kPort));
        m_servers.push_back(SocketServer::dns(server(), kGermanServer, kRussianServer));

        // The engine runs in the client's namespace, so its geo-IP service listens on that
        // namespace's loopback.
        std::thread([this] {
            if (::setns(client(), CLONE_NEWNET) == 0) {
                m_geoIP = std::make_unique<GeoIPTestServer>();
            }
        }).join();
        ASSERT_TRUE(m_geoIP);
        m_geoIP->setAnswer(kGermanServer, R"({"country": {"isoCode": "DE"}})");
        m_geoIP->setAnswer(kRussianServer, R"({"country": {"isoCode": "RU"}})");
    }

    int client() const { return m_sandbox->clientNamespace(); }
    int server() const { return m_sandbox->serverNamespace(); }
    // The helper's install folder in the engine's private mount namespace.
    fs::path installFolder() const {
        return fs::path("/proc") / std::to_string(m_engine->pid()) / "root" /
               fs::path(SystemExtensionHelper::kInstallFolder).relative_path();
    }
    fs::path settingsFile() const { return m_folder.path() / "settings.json"; }
    static std::string extensionName() {
        return fs::path(TARNWICK_EXTENSION_BUNDLE).filename().string();
    }

    // The engine host, or the same program run by `launcher` with `extra` arguments.
    // With `beside`, in the mount namespace of that process (an extension the test started).
    void startEngine(std::vector<std::string> launcher = {TARNWICK_ENGINE_HOST},
                     const std::vector<std::string>& extra = {},
                     std::vector<std::string> environment = {}, pid_t beside = 0) {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.privateRunFolders = beside == 0;
        options.mountNamespaceOf = beside;
        if (beside == 0) {
            // The extension that activation installs lets only the installed application
            // register: here the engine is it.
            options.boundFiles = {{launcher.back(), TARNWICK_INSTALLED_APPLICATION}};
        }
        options.standardInput = true;
        environment.push_back("XDG_CACHE_HOME=" + (m_folder.path() / "cache").string());
        options.environment = std::move(environment);
        std::vector<std::string> arguments = std::move(launcher);
        for (const auto& argument :
             {std::string("--app"), std::string(TARNWICK_APP_BUNDLE),
              std::string("--install-folder"), std::string(SystemExtensionHelper::kInstallFolder),
              std::string("--helper"), std::string(TARNWICK_EXTENSION_HELPER),
              std::string("--geoip"), m_geoIP->service(), std::string("--settings"),
              settingsFile().string(), std::string("--answer"),
              std::string("Deny connections to ")}) {
            arguments.push_back(argument);
        }
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        m_engine = std::make_unique<ChildProcess>(arguments, options);
    }

    // The next line of the engine that starts with `prefix`; every line read is kept.
    std::optional<std::string> next(const std::string& prefix,
                                    std::chrono::milliseconds timeout = kWait) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left <= 0ms) {
                return std::nullopt;
            }
            auto line = m_engine->readLine(left);
            if (!line) {
                return std::nullopt;
            }
            m_lines.push_back(*line);
            if (line->rfind(prefix, 0) == 0) {
                return line->substr(prefix.size());
            }
        }
    }

    std::size_t alertsSeen() const {
        return std::count_if(m_lines.begin(), m_lines.end(),
                             [](const std::string& line) { return line.rfind("alert ", 0) == 0; });
    }

    // Waits for a tree in which one application holds a hit on each server with these verdicts.
    bool treeShows(bool russianAllowed, bool germanAllowed) {
        const auto deadline = std::chrono::steady_clock::now() + kWait;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto tree = next("tree ", 1s);
            if (!tree) {
                continue;
            }
            for (const auto& application : nlohmann::json::parse(*tree)) {
                std::map<std::string, bool> verdicts;
                for (const auto& hit : application["hits"]) {
                    verdicts[hit["address"]] = hit["allowed"];
                }
                if (verdicts.count(kRussianServer) && verdicts.count(kGermanServer) &&
                    verdicts[kRussianServer] == russianAllowed &&
                    verdicts[kGermanServer] == germanAllowed) {
                    return true;
                }
            }
        }
        return false;
    }

    std::string log() const {
        std::string text;
        for (const auto& line : m_lines) {
            text += line + "\n";
        }
        return text;
    }

    std::unique_ptr<NetworkSandbox> m_sandbox;
    std::vector<std::unique_ptr<SocketServer>> m_servers;
    std::unique_ptr<GeoIPTestServer> m_geoIP;
    TemporaryDirectory m_folder;
    std::unique_ptr<ChildProcess> m_engine;
    std::vector<std::string> m_lines;
};

TEST_F(ConnectionsMonitorEndToEnd, TargetCountryIsAskedAboutDeniedOnceAndRememberedOthersPass) {
    startEngine();
    ASSERT_EQ(next("status running", 60s), "") << log();

    // Activation installed a copy of the carried extension and started it as root.
    const auto installed = installFolder() / extensionName();
    ASSERT_TRUE(fs::is_directory(installed));
    const auto extension = SystemExtensionHelper::runningInstance(installFolder(), extensionName());
    ASSERT_TRUE(extension);
    struct stat owner {};
    ASSERT_EQ(::stat(("/proc/" + std::to_string(*extension)).c_str(), &owner), 0);
    EXPECT_EQ(owner.st_uid, 0u);

    EXPECT_EQ(resolve(client(), kGermanServer, kRussianName, kWait), kRussianServer);

    // The first connection to the server in "RU" waits for the user, who denies its host.
    auto first = std::async(std::launch::async,
                            [this] { return tcpExchange(client(), kRussianServer, kPort, kWait); });
    const auto alert = next("alert ");
    ASSERT_TRUE(alert) << log();
    EXPECT_NE(alert->find("Host: " + std::string(kRussianName)), std::string::npos) << *alert;
    EXPECT_NE(alert->find("IP: " + std::string(kRussianServer)), std::string::npos) << *alert;
    EXPECT_EQ(outcomeName(first.get()), "refused");

    // The answer is in the settings file.
    ASSERT_TRUE(waitUntil(
        [this] {
            UserDefaults::standard().resetForTesting(settingsFile());
            const auto lists = AllowanceList::restoreFromSettings();
            return lists && std::count(lists->hostBlacklist.begin(), lists->hostBlacklist.end(),
                                       kRussianName) == 1;
        },
        kWait));

    // The next connection there is dropped by the list, and the one to "DE" passes unasked.
    EXPECT_EQ(outcomeName(tcpExchange(client(), kRussianServer, kPort, kWait)), "refused");
    EXPECT_EQ(outcomeName(tcpExchange(client(), kGermanServer, kPort, kWait)), "passed");
    EXPECT_TRUE(treeShows(false, true)) << log();
    EXPECT_EQ(alertsSeen(), 1u) << log();

    // Deactivation stops the copy and removes it.
    m_engine->closeInput();
    EXPECT_EQ(next("deactivated "), "ok") << log();
    EXPECT_FALSE(fs::exists(installed));
    EXPECT_EQ(m_engine->stop(0, kWait), 0);
    EXPECT_TRUE(waitUntil([&] { return ::kill(*extension, 0) != 0; }, kWait));
}

// Long: the engine and the extension start with, and look up in, a deny list of 100,000 hosts.
TEST_F(ConnectionsMonitorEndToEnd, AHostInTheDenyListIsRefusedWithoutAnAlert) {
    // The deny list as the settings screen leaves it after years of use: the host among a
    // hundred thousand others.
    UserDefaults::standard().resetForTesting(settingsFile());
    AllowanceList lists;
    for (int i = 0; i < 100000; ++i) {
        lists.hostBlacklist.push_back("host-" + std::to_string(i) + ".example.ru");
    }
    lists.hostBlacklist.insert(lists.hostBlacklist.begin() + 50000, kRussianName);
    lists.saveToSettings();

    startEngine();
    ASSERT_EQ(next("status running", 60s), "") << log();
    EXPECT_EQ(resolve(client(), kGermanServer, kRussianName, kWait), kRussianServer);
    EXPECT_EQ(outcomeName(tcpExchange(client(), kRussianServer, kPort, kWait)), "refused");
    EXPECT_EQ(outcomeName(tcpExchange(client(), kGermanServer, kPort, kWait)), "passed");
    EXPECT_TRUE(treeShows(false, true)) << log();
    EXPECT_EQ(alertsSeen(), 0u) << log();

    m_engine->closeInput();
    EXPECT_EQ(next("deactivated "), "ok") << log();
    EXPECT_EQ(m_engine->stop(0, kWait), 0);
}

// The user has used the monitor before (the explanation was read), so a start arms the watchdog;
// then nothing on the network makes a connection. The watchdog asks the running filter, finds it
// sound and leaves it: no repair, no relaunch, and the filter still decides the next connection.
TEST_F(ConnectionsMonitorEndToEnd, AQuietNetworkKeepsAWorkingFilter) {
    UserDefaults::standard().resetForTesting(settingsFile());
    Settings::set(Value(true), SettingsKey::isSystemExtensionExplained);
    // The extension runs already, so the start does not wait for its installation and the
    // watchdog's looks fall while the filter is on.
    // The application runs as root here, as the desktop user, and is the program that registers.
    ChildProcess::Options extensionOptions;
    extensionOptions.networkNamespace = client();
    extensionOptions.privateRunFolders = true;
    extensionOptions.environment = {"PKEXEC_UID=0"};
#ifdef TARNWICK_SCREEN_HOST
    const char* const application = TARNWICK_SCREEN_HOST;
#else
    const char* const application = TARNWICK_ENGINE_HOST;
#endif
    ChildProcess extension({TARNWICK_FILTER_EXTENSION, "--application", application},
                           extensionOptions);
    const fs::path runFolder = "/proc/" + std::to_string(extension.pid()) + "/root/run/tarnwick";
    ASSERT_TRUE(waitUntil([&] { return fs::exists(runFolder / "filter-manager"); }, kWait));

#ifdef TARNWICK_SCREEN_HOST
    // With the screen, which presses Start itself and pictures the quiet screen.
    const fs::path pictures = TARNWICK_SCREENSHOT_DIR;
    fs::remove(pictures / "connections-monitor-quiet.png");
    // The desktop has no location service: the map shows the servers without the user's position.
    fs::remove(pictures / "connections-monitor-live-map-without-location.png");
    m_geoIP->setAnswer(kGermanServer,
                       R"({"country": {"isoCode": "DE"}, "city": {"lat": 52.52, "long": 13.40}})");
    startEngine(
        {TARNWICK_XVFB_RUN, "-a", "-s", "-screen 0 1600x1000x24", TARNWICK_SCREEN_HOST},
        {"--screenshots", pictures.string(), "--atlas", TARNWICK_WORLD_ATLAS, "--extension-running",
         "yes", "--quiet-picture-after", "10000", "--without-location", "yes"},
        {"QT_QPA_PLATFORM=xcb",
         "LSAN_OPTIONS=suppressions=" + std::string(TARNWICK_XCB_LSAN_SUPPRESSIONS)},
        extension.pid());
    ASSERT_TRUE(next("pressed Start", 60s)) << log();
    ASSERT_EQ(next("status running", 60s), "") << log();
    // Ten quiet seconds: well past both looks of the watchdog.
    EXPECT_EQ(next("quiet ", 30s), "Stop running") << log();
    EXPECT_TRUE(fs::exists(pictures / "connections-monitor-quiet.png"));
#else
    startEngine({TARNWICK_ENGINE_HOST}, {"--extension-running", "yes"}, {}, extension.pid());
    ASSERT_EQ(next("status running", 60s), "") << log();
    // Ten quiet seconds: well past both looks of the watchdog.
    EXPECT_FALSE(next("status stopped", 10s)) << log();
#endif
    const auto said = [this](const std::string& text) {
        return std::any_of(m_lines.begin(), m_lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    };
    EXPECT_TRUE(said("The filter extension works")) << log();
    EXPECT_FALSE(said("does not work")) << log();
    EXPECT_FALSE(said("relaunch")) << log();
    UserDefaults::standard().resetForTesting(settingsFile());
    const auto explained = Settings::value(SettingsKey::isSystemExtensionExplained);
    EXPECT_TRUE(explained && explained->asBool() == true);

    // The filter still decides: the next connection is asked about and recorded.
    EXPECT_EQ(outcomeName(tcpExchange(client(), kGermanServer, kPort, kWait)), "passed");
    ASSERT_TRUE(
        waitUntil([&] { return next("tree ", 1s).has_value() && said(kGermanServer); }, kWait))
        << log();
#ifdef TARNWICK_SCREEN_HOST
    // The map shows the server where it is and says in plain words why the user's position and
    // the lines from it are missing.
    const auto note = [this]() -> std::optional<std::string> {
        for (const auto& line : m_lines) {
            if (line.rfind("note ", 0) == 0) {
                return line.substr(5);
            }
        }
        return std::nullopt;
    };
    const fs::path mapPicture = pictures / "connections-monitor-live-map-without-location.png";
    ASSERT_TRUE(waitUntil(
        [&] {
            (void)next("screenshot ", 1s);
            return note().has_value() && fs::exists(mapPicture);
        },
        30s))
        << log();
    EXPECT_NE(note()->find("the map shows the servers without lines from your position"),
              std::string::npos)
        << *note();
#endif

    m_engine->closeInput();
    EXPECT_EQ(next("deactivated "), "ok") << log();
    EXPECT_EQ(m_engine->stop(0, kWait), 0);
    (void)extension.stop(SIGTERM, kWait);
}

#ifdef TARNWICK_SCREEN_HOST
// The screen over the same set-up: its own Start button switches the monitor on, the list shows
// both servers with their verdicts and the map draws them; the pictures are kept for review.
TEST_F(ConnectionsMonitorEndToEnd, TheScreenShowsLiveConnectionsInTheListAndOnTheMap) {
    m_geoIP->setAnswer(kGermanServer,
                       R"({"country": {"isoCode": "DE"}, "city": {"lat": 52.52, "long": 13.40}})");
    m_geoIP->setAnswer(kRussianServer,
                       R"({"country": {"isoCode": "RU"}, "city": {"lat": 55.75, "long": 37.62}})");
    // The extension runs already, as after an earlier session, so the screen finds its filter
    // manager when it is first shown.
    ChildProcess::Options extensionOptions;
    extensionOptions.networkNamespace = client();
    extensionOptions.privateRunFolders = true;
    // The screen runs as root here, as the desktop user.
    extensionOptions.environment = {"PKEXEC_UID=0"};
    ChildProcess extension({TARNWICK_FILTER_EXTENSION, "--application", TARNWICK_SCREEN_HOST},
                           extensionOptions);
    const fs::path runFolder = "/proc/" + std::to_string(extension.pid()) + "/root/run/tarnwick";
    ASSERT_TRUE(waitUntil([&] { return fs::exists(runFolder / "filter-manager"); }, kWait));

    const fs::path pictures = TARNWICK_SCREENSHOT_DIR;
    fs::remove(pictures / "connections-monitor-live.png");
    // Installed as the package installs it, while the user has an Applications folder of their
    // own; the first explanation is cancelled.
    const fs::path applications = m_folder.path() / "home/Applications";
    fs::create_directories(applications);
    startEngine(
        {TARNWICK_XVFB_RUN, "-a", "-s", "-screen 0 1600x1000x24", TARNWICK_SCREEN_HOST},
        {"--screenshots", pictures.string(), "--atlas", TARNWICK_WORLD_ATLAS, "--extension-running",
         "yes", "--applications-folder", applications.string(), "--package-folder",
         fs::path(TARNWICK_APP_BUNDLE).parent_path().string(), "--cancel-first", "yes"},
        {"QT_QPA_PLATFORM=xcb",
         "LSAN_OPTIONS=suppressions=" + std::string(TARNWICK_XCB_LSAN_SUPPRESSIONS)},
        extension.pid());
    // The screen configures the filter once and offers Start, the user presses it, cancels the
    // explanation (Start is offered again), presses it again and goes on.
    EXPECT_EQ(next("ready ", 60s), "Start stopped") << log();
    ASSERT_TRUE(next("pressed Start", 60s)) << log();
    EXPECT_EQ(next("after cancel ", 60s), "Start stopped") << log();
    ASSERT_TRUE(next("pressed Start", 60s)) << log();
    ASSERT_EQ(next("status running", 60s), "") << log();

    EXPECT_EQ(resolve(client(), kGermanServer, kRussianName, kWait), kRussianServer);
    auto first = std::async(std::launch::async,
                            [this] { return tcpExchange(client(), kRussianServer, kPort, kWait); });
    ASSERT_TRUE(next("alert ")) << log();
    EXPECT_EQ(outcomeName(first.get()), "refused");
    EXPECT_EQ(outcomeName(tcpExchange(client(), kGermanServer, kPort, kWait)), "passed");
    ASSERT_TRUE(treeShows(false, true)) << log();
    // The list shows both servers with their verdicts (a picture taken before the last change
    // may still show less), and a picture was taken of it.
    const auto shows = [](const std::string& rows) {
        return rows.find(std::string(kGermanServer) + "=connected") != std::string::npos &&
               rows.find(std::string(kRussianServer) + "=blocked") != std::string::npos;
    };
    std::optional<std::string> rows;
    do {
        rows = next("rows ");
    } while (rows && !shows(*rows));
    ASSERT_TRUE(rows) << log();
    ASSERT_TRUE(next("screenshot ")) << log();
    EXPECT_TRUE(fs::exists(pictures / "connections-monitor-live.png"));
    EXPECT_TRUE(fs::exists(pictures / "connections-monitor-live-map.png"));

    m_engine->closeInput();
    EXPECT_EQ(next("deactivated "), "ok") << log();
    EXPECT_EQ(m_engine->stop(0, kWait), 0);
    (void)extension.stop(SIGTERM, kWait);
}
#endif

}  // namespace
}  // namespace tarnwick::testing
