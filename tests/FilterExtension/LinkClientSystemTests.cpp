// What a local user can do to the extension through its sockets: connect without registering,
// flood the application's service, sit idle on the filter manager's, start a second instance, or
// race the start. The real extension in network namespaces of the test's own, with real peer
// processes of another user. Needs root; skipped elsewhere.

#include "FilterExtension/IPCConnection.h"
#include "FilterLink/FilterConfiguration.h"
#include "Foundation/Bundle.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "NetworkSandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

constexpr uid_t kDesktopUser = 4242;
constexpr std::uint16_t kTcpPort = 7000;
constexpr auto kWait = 10s;
const char* const kServer = NetworkSandbox::kServerAddress;

bool acceptsConnections(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof(address.sun_path) - 1);
    const FileDescriptor probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) ==
           0;
}

class LinkClientSystem : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_sandbox = std::make_unique<NetworkSandbox>();
        m_server = SocketServer::tcpPong(m_sandbox->serverNamespace(), kServer, kTcpPort);
        m_service = IPCConnection::machServiceName(Bundle(TARNWICK_EXTENSION_BUNDLE));
    }

    int client() const { return m_sandbox->clientNamespace(); }

    std::filesystem::path runFolder() const {
        return "/proc/" + std::to_string(m_extension->pid()) + "/root/run/tarnwick";
    }

    // An extension process in the client namespace: a first one with /run of its own, or one
    // more in the first one's mount namespace.
    std::unique_ptr<ChildProcess> launchExtension(bool beside = false) {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.privateRunFolders = !beside;
        options.mountNamespaceOf = beside ? m_extension->pid() : 0;
        options.environment = {"PKEXEC_UID=" + std::to_string(kDesktopUser)};
        return std::make_unique<ChildProcess>(std::vector<std::string>{TARNWICK_FILTER_EXTENSION},
                                              options);
    }

    void startExtension() {
        m_extension = launchExtension();
        ASSERT_TRUE(waitUntil(
            [this] {
                return std::filesystem::exists(runFolder() / m_service) &&
                       std::filesystem::exists(runFolder() / "filter-manager");
            },
            kWait))
            << "the extension did not start listening";
    }

    std::optional<std::string> setFilterEnabled(bool enabled) {
        auto manager = FilterManagerClient::createForSocketPath(runFolder() / "filter-manager");
        FilterConfiguration configuration;
        configuration.enabled = enabled;
        configuration.providerConfiguration = {true, false};
        auto done = std::make_shared<std::promise<std::optional<std::string>>>();
        auto result = done->get_future();
        manager->saveToPreferences(configuration, [done](const std::optional<std::string>& error) {
            done->set_value(error);
        });
        if (result.wait_for(kWait) != std::future_status::ready) {
            return "no answer";
        }
        return result.get();
    }

    std::unique_ptr<ChildProcess> startPeer(const std::string& answer,
                                            std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{TARNWICK_TEST_PEER, "--service", m_service, "--answer",
                                           answer};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.mountNamespaceOf = m_extension->pid();
        options.user = kDesktopUser;
        return std::make_unique<ChildProcess>(arguments, options);
    }

    std::vector<std::string> ruleLines() const {
        std::vector<std::string> lines;
        for (const char* tool : {"/usr/sbin/iptables-save", "/usr/sbin/ip6tables-save"}) {
            std::istringstream output(NetworkSandbox::runIn(client(), {tool}).output);
            for (std::string line; std::getline(output, line);) {
                if (line.find("TARNWICK") != std::string::npos) {
                    lines.push_back(line);
                }
            }
        }
        return lines;
    }

    std::unique_ptr<NetworkSandbox> m_sandbox;
    std::unique_ptr<SocketServer> m_server;
    std::unique_ptr<ChildProcess> m_extension;
    std::string m_service;
};

TEST_F(LinkClientSystem, AClientThatOnlyConnectsIsAskedAboutLikeAnyOther) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto application = startPeer("deny");
    ASSERT_EQ(application->readLine(kWait), "registered true");

    auto lurker = startPeer("allow", {"--unregistered", "--connect",
                                      std::string(kServer) + ":" + std::to_string(kTcpPort)});
    EXPECT_EQ(lurker->readLine(kWait), "connect-failed " + std::to_string(ECONNREFUSED))
        << "a connection to the service does not make a process exempt";
    EXPECT_TRUE(application->readLineStartingWith("prompt ", kWait));
}

TEST_F(LinkClientSystem, HostileConnectionsDoNotKeepTheApplicationFromRegistering) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    // 40 connections that never register, from one process and from several, opened again as
    // soon as they are closed.
    std::vector<std::unique_ptr<ChildProcess>> floods;
    floods.push_back(startPeer("allow", {"--flood", "40"}));
    for (int i = 0; i < 4; ++i) {
        floods.push_back(startPeer("allow", {"--flood", "10"}));
    }
    for (const auto& flood : floods) {
        ASSERT_EQ(flood->readLine(kWait), "flooding");
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE("application start " + std::to_string(attempt));
        auto application = startPeer("deny");
        EXPECT_EQ(application->readLine(kWait), "registered true");
    }
    auto application = startPeer("deny");
    ASSERT_EQ(application->readLine(kWait), "registered true");
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused")
        << "the application decides";
}

TEST_F(LinkClientSystem, SilentFilterManagerClientsDoNotLockOutTheApplicationOrRoot) {
    startExtension();
    auto silent = startPeer("allow", {"--service", "filter-manager", "--silent", "20"});
    ASSERT_TRUE(silent->readLineStartingWith("silent ", kWait));

    EXPECT_EQ(setFilterEnabled(true), std::nullopt) << "root switches the filter";
    auto application = startPeer("deny", {"--enable"});
    EXPECT_EQ(application->readLine(kWait), "enabled") << "the application switches the filter";
    EXPECT_EQ(application->readLine(kWait), "registered true");
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused");
}

TEST_F(LinkClientSystem, ASecondInstanceStopsWithoutTouchingTheFirst) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto application = startPeer("deny");
    ASSERT_EQ(application->readLine(kWait), "registered true");
    const auto rulesBefore = ruleLines();
    ASSERT_FALSE(rulesBefore.empty());
    struct stat socketBefore {};
    ASSERT_EQ(::stat((runFolder() / m_service).c_str(), &socketBefore), 0);

    auto second = launchExtension(true);
    EXPECT_EQ(second->stop(0, kWait), 1) << "the second instance stops by itself";

    EXPECT_EQ(ruleLines(), rulesBefore);
    struct stat socketAfter {};
    ASSERT_EQ(::stat((runFolder() / m_service).c_str(), &socketAfter), 0);
    EXPECT_EQ(socketAfter.st_ino, socketBefore.st_ino) << "the service socket is the first one's";
    EXPECT_TRUE(acceptsConnections(runFolder() / "filter-manager"));
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused")
        << "the first instance still filters";
}

TEST_F(LinkClientSystem, AnApplicationThatReachedTheFilterManagerFindsItsServiceAndCanSwitchOn) {
    // An application started with the extension loads the configuration as soon as the filter
    // manager answers, then registers at once; a switch right after a start must work too.
    for (int start = 0; start < 15; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        m_extension = launchExtension();
        // Asked without a pause, as the gap between the two services may be short.
        const auto manager = runFolder() / "filter-manager";
        const auto deadline = std::chrono::steady_clock::now() + kWait;
        while (!acceptsConnections(manager) && std::chrono::steady_clock::now() < deadline) {
        }
        ASSERT_TRUE(acceptsConnections(manager));
        EXPECT_TRUE(acceptsConnections(runFolder() / m_service))
            << "the filter manager answers, the application's service does not";
        EXPECT_EQ(setFilterEnabled(true), std::nullopt);
        EXPECT_EQ(m_extension->stop(SIGTERM, kWait), 0);
    }
}

}  // namespace
}  // namespace tarnwick::testing
