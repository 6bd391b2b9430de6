#include "Bootstrap/ApplicationServices.h"
#include "Dispatch/WorkerPool.h"
#include "Foundation/Bundle.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/Process.h"
#include "Libraries/Logging/LoggingTestSupport.h"
#include "Network/HTTPSession.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "Screens/ConnectionsMonitor/IPCConnection.h"
#include "Tools/UndesirableCountriesManager.h"
#include "Tools/WhoIs.h"
#include "XPC/XPCConnection.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryDirectory.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <latch>
#include <mutex>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

// Web services on loopback that hold every answer until the test ends.
class HeldWebServices {
public:
    HeldWebServices() {
        const auto held = [this](const httplib::Request&, httplib::Response& response) {
            m_release.wait();
            response.set_content("{}", "application/json");
        };
        m_server.routes().Get("/v1/geoip/ip/203.0.113.7/info", held);
        m_server.routes().Get("/feed", held);
        m_server.routes().Get("/ready", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("", "text/plain");
        });
        m_server.start();
        // The server makes its threads as it takes its first request.
        EXPECT_TRUE(httplib::Client("127.0.0.1", m_server.port()).Get("/ready"));
    }
    ~HeldWebServices() { m_release.count_down(); }

    std::string baseURL() const { return m_server.baseURL(); }

    // Services over these web services, with a filter host that is not there.
    ApplicationServices::Configuration configuration(const std::filesystem::path& folder,
                                                     IPCConnection* link = nullptr) const {
        return ApplicationServices::Configuration{
            m_server.baseURL(),
            [folder] {
                return std::make_shared<FilterManagerClient>(
                    XPCConnection::createForSocketPath(folder / "no-host"),
                    FilterManagerClient::ChangeHandler{}, 10s, DispatchQueue::main());
            },
            5s, link};
    }

private:
    std::latch m_release{1};
    testing::LoopbackHttpServer m_server;
};

TEST(ApplicationServices, ShutDownClosesLinksFirstThenCancelsWhatIsInFlightOnce) {
    HeldWebServices web;
    testing::TemporaryDirectory folder;

    std::vector<std::string> order;
    ApplicationServices services(web.configuration(folder.path()));
    EXPECT_EQ(&services.undesirableCountries(), &UndesirableCountriesManager::shared());
    services.addShutDownStep([&] { order.push_back("link closed"); });

    std::optional<std::optional<WhoIs::Response>> answer;
    services.whoIs()->lookup("203.0.113.7", std::nullopt,
                             [&](std::optional<WhoIs::Response> response) {
                                 order.push_back("lookup ended");
                                 answer = std::move(response);
                             });
    services.shutDown();
    services.shutDown();
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000));
    EXPECT_FALSE(answer->has_value()) << "a lookup cut short gives no answer";
    EXPECT_EQ(order, (std::vector<std::string>{"link closed", "lookup ended"}));

    std::optional<std::string> loadError;
    services.filterManagerClient()->loadFromPreferences(
        [&](const auto&, const auto& error) { loadError = error.value_or("loaded"); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return loadError.has_value(); }, 10000));
    EXPECT_NE(*loadError, "loaded");
}

std::ptrdiff_t threadCount() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator());
}

TEST(ApplicationServices, QuittingWithWorkInFlightIsPromptInOrderAndLeavesNoThreadRunning) {
    HeldWebServices web;
    testing::TemporaryDirectory folder;
    const auto log = std::make_shared<testing::RecordingDestination>();
    LogHub::addDestination(log);
    // The loopback server's threads are counted here, the rest must be gone at the end.
    const auto before = threadCount();

    std::vector<std::string> order;
    // An extension that takes the link and never answers the registration.
    FileDescriptor extensionEnd;
    IPCConnection link(
        [&](const std::string&) {
            int fds[2];
            EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
            extensionEnd = FileDescriptor(fds[1]);
            return XPCConnection::adoptSocket(FileDescriptor(fds[0]), "application");
        },
        60s);
    std::filesystem::create_directories(folder.path() / "Ext.systemextension/Contents");
    {
        std::ofstream(folder.path() / "Ext.systemextension/Contents/Info.plist")
            << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>NetworkExtension</key>"
               "<dict><key>NEMachServiceName</key><string>svc</string></dict></dict></plist>";
    }
    {
        ApplicationServices services(web.configuration(folder.path(), &link));
        services.addShutDownStep(
            [&] { order.push_back(link.hasConnection() ? "link still open" : "link closed"); });
        services.addWorkerStop([&] {
            order.push_back("workers");
            ApplicationServices::stopProcessEngines();
            LogHub::info("the engines stopped");
        });

        // Work of every kind in flight: a lookup, a session's request, a program launched to go
        // on by itself, a link being registered, and a job on the worker pool.
        std::atomic<int> webEnded = 0;
        services.whoIs()->lookup("203.0.113.7", std::nullopt,
                                 [&](std::optional<WhoIs::Response>) { ++webEnded; });
        HTTPRequest request;
        request.url = web.baseURL() + "feed";
        (void)services.makeHTTPSession()->send(request, [&](const HTTPResult&) { ++webEnded; });
        const auto child = Process::launchDetached({"sleep", "30"});
        ASSERT_TRUE(child.ok());
        std::optional<bool> registered;
        link.registerWithExtension(Bundle(folder.path() / "Ext.systemextension"), {},
                                   [&](bool answer) { registered = answer; });
        DispatchQueue::global()->async([] {});
        ASSERT_TRUE(link.hasConnection());
        ASSERT_GT(threadCount(), before);

        const auto started = std::chrono::steady_clock::now();
        services.shutDown();
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        EXPECT_EQ(order, (std::vector<std::string>{"link closed", "workers"}));
        const auto logged = log->entries();
        EXPECT_TRUE(std::any_of(logged.begin(), logged.end(), [](const auto& entry) {
            return entry.message == "the engines stopped";
        })) << "the log was flushed before the workers stopped";
        ASSERT_TRUE(QTest::qWaitFor([&] { return webEnded == 2 && registered; }, 10000));
        EXPECT_FALSE(*registered);
        ::kill(*child, SIGKILL);
    }
    LogHub::removeDestination(log);
    ASSERT_TRUE(WorkerPool::shared().stop(5s));
    EXPECT_EQ(threadCount(), before);
}

}  // namespace
}  // namespace tarnwick
