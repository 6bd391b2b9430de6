// The real extension in network namespaces of the test's own, with a real peer process playing
// the application. Needs root; skipped elsewhere.

#include "FilterExtension/IPCConnection.h"
#include "NetworkSandbox.h"

#include "FilterLink/FilterConfiguration.h"
#include "Foundation/Bundle.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <future>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

constexpr uid_t kDesktopUser = 4242;
constexpr uid_t kOtherUser = 4343;
constexpr std::uint16_t kTcpPort = 7000;
constexpr std::uint16_t kUdpPort = 7001;
constexpr auto kWait = 10s;
const char* const kServer = NetworkSandbox::kServerAddress;

class FilterExtensionSystem : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_sandbox = std::make_unique<NetworkSandbox>();
        m_tcpServer = SocketServer::tcpPong(m_sandbox->serverNamespace(), kServer, kTcpPort);
        m_udpServer = SocketServer::udpEcho(m_sandbox->serverNamespace(), kServer, kUdpPort);
        m_service = IPCConnection::machServiceName(Bundle(TARNWICK_EXTENSION_BUNDLE));
    }

    int client() const { return m_sandbox->clientNamespace(); }

    // The socket folder as the extension's private mount namespace has it.
    std::filesystem::path runFolder() const {
        return "/proc/" + std::to_string(m_extension->pid()) + "/root/run/tarnwick";
    }

    void startExtension() {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.privateRunFolders = true;
        options.environment = {"PKEXEC_UID=" + std::to_string(kDesktopUser)};
        m_extension = std::make_unique<ChildProcess>(
            std::vector<std::string>{TARNWICK_FILTER_EXTENSION}, options);
        ASSERT_TRUE(waitUntil(
            [this] {
                return std::filesystem::exists(runFolder() / m_service) &&
                       std::filesystem::exists(runFolder() / "filter-manager");
            },
            kWait))
            << "the extension did not start listening";
    }

    // Saves the filter configuration as the application's filter manager would.
    std::optional<std::string> setFilterEnabled(bool enabled) {
        auto manager = FilterManagerClient::createForSocketPath(runFolder() / "filter-manager");
        FilterConfiguration configuration;
        configuration.enabled = enabled;
        configuration.localizedDescription = "Tarnwick";
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

    std::unique_ptr<ChildProcess> startPeer(const std::string& answer, uid_t user = kDesktopUser,
                                            std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{TARNWICK_TEST_PEER, "--service", m_service, "--answer",
                                           answer};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.mountNamespaceOf = m_extension->pid();
        options.user = user;
        return std::make_unique<ChildProcess>(arguments, options);
    }

    std::string firewallRules() const {
        return NetworkSandbox::runIn(client(), {"/usr/sbin/iptables-save"}).output +
               NetworkSandbox::runIn(client(), {"/usr/sbin/ip6tables-save"}).output;
    }

    std::vector<nlohmann::json> prompts(ChildProcess& peer, std::size_t count) {
        std::vector<nlohmann::json> result;
        while (result.size() < count) {
            auto line = peer.readLineStartingWith("prompt ", kWait);
            if (!line) {
                break;
            }
            result.push_back(nlohmann::json::parse(line->substr(7)));
        }
        return result;
    }

    std::unique_ptr<NetworkSandbox> m_sandbox;
    std::unique_ptr<SocketServer> m_tcpServer;
    std::unique_ptr<SocketServer> m_udpServer;
    std::unique_ptr<ChildProcess> m_extension;
    std::string m_service;
};

TEST_F(FilterExtensionSystem, AllowedFlowsPassAndCarryTheNameTheClientResolved) {
    auto resolver = SocketServer::dns(m_sandbox->serverNamespace(), kServer, kServer);
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("allow");
    ASSERT_EQ(peer->readLine(kWait), "registered true");

    EXPECT_EQ(resolve(client(), kServer, "server.tarnwick.test", kWait), kServer);
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "passed");
    EXPECT_EQ(outcomeName(udpExchange(client(), kServer, kUdpPort, kWait)), "passed");

    // The DNS question itself, then the TCP and UDP flows, which carry the name.
    const auto seen = prompts(*peer, 3);
    ASSERT_EQ(seen.size(), 3u);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const nlohmann::json expected = {{"aza", "server.tarnwick.test"},
                                     {"bundleId", self},
                                     {"localPort", "8080"},
                                     {"remoteAddress", kServer},
                                     {"url", ""}};
    EXPECT_EQ(seen[0]["aza"], "");
    EXPECT_EQ(seen[1], expected);
    EXPECT_EQ(seen[2], expected);
}

TEST_F(FilterExtensionSystem, DeniedFlowsFailAtOnce) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("deny");
    ASSERT_EQ(peer->readLine(kWait), "registered true");

    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused");
    EXPECT_EQ(outcomeName(udpExchange(client(), kServer, kUdpPort, kWait)), "refused");
    EXPECT_EQ(prompts(*peer, 2).size(), 2u);
}

TEST_F(FilterExtensionSystem, InboundConnectionsAreAskedAboutToo) {
    auto local = SocketServer::tcpPong(client(), NetworkSandbox::kClientAddress, kTcpPort);
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("deny");
    ASSERT_EQ(peer->readLine(kWait), "registered true");

    EXPECT_EQ(outcomeName(tcpExchange(m_sandbox->serverNamespace(), NetworkSandbox::kClientAddress,
                                      kTcpPort, kWait)),
              "refused");
    const auto seen = prompts(*peer, 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["remoteAddress"], kServer);
    EXPECT_EQ(seen[0]["bundleId"], std::filesystem::read_symlink("/proc/self/exe").string())
        << "the listening socket's process";
}

TEST_F(FilterExtensionSystem, FlowsPassWhenNoApplicationIsRegistered) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "passed");
    EXPECT_EQ(outcomeName(udpExchange(client(), kServer, kUdpPort, kWait)), "passed");
}

TEST_F(FilterExtensionSystem, HeldFlowPassesWhenTheApplicationDies) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("hold");
    ASSERT_EQ(peer->readLine(kWait), "registered true");

    const int connection = startTcpConnection(client(), kServer, kTcpPort);
    ASSERT_TRUE(peer->readLineStartingWith("prompt ", kWait));
    peer->stop(SIGKILL, kWait);
    EXPECT_EQ(outcomeName(finishTcpExchange(connection, kWait)), "passed");
}

TEST_F(FilterExtensionSystem, PeerOfAnotherUserIsRefused) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto stranger = startPeer("deny", kOtherUser);
    const auto line = stranger->readLine(kWait);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->rfind("error ", 0), 0u) << *line;
    // The stranger ends by itself once refused.
    EXPECT_EQ(stranger->stop(0, kWait), 3);
    // Nobody registered: the stranger's "deny" decides nothing.
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "passed");
}

TEST_F(FilterExtensionSystem, TheApplicationsOwnConnectionsNeverWait) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("deny", kDesktopUser,
                          {"--connect", std::string(kServer) + ":" + std::to_string(kTcpPort)});
    ASSERT_EQ(peer->readLine(kWait), "registered true");
    EXPECT_EQ(peer->readLine(kWait), "connected");
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused");
}

TEST_F(FilterExtensionSystem, RulesFollowTheFilterAndNeverOutliveTheProcess) {
    startExtension();
    EXPECT_EQ(firewallRules().find("TARNWICK"), std::string::npos);
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    EXPECT_NE(firewallRules().find("-A OUTPUT -j TARNWICK-OUT"), std::string::npos);
    EXPECT_NE(firewallRules().find("-A INPUT -j TARNWICK-IN"), std::string::npos);
    ASSERT_EQ(setFilterEnabled(false), std::nullopt);
    EXPECT_EQ(firewallRules().find("TARNWICK"), std::string::npos);

    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    // Keeps the extension's folders in view after it ends.
    ChildProcess::Options inside;
    inside.mountNamespaceOf = m_extension->pid();
    ChildProcess witness({"/bin/sleep", "60"}, inside);
    EXPECT_EQ(m_extension->stop(SIGTERM, kWait), 0);
    EXPECT_EQ(firewallRules().find("TARNWICK"), std::string::npos);
    const std::filesystem::path folder =
        "/proc/" + std::to_string(witness.pid()) + "/root/run/tarnwick";
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "service sockets are removed";

    // A process that is killed cannot clean up; the next one does.
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    EXPECT_EQ(m_extension->stop(SIGKILL, kWait), 128 + SIGKILL);
    EXPECT_NE(firewallRules().find("TARNWICK"), std::string::npos);
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "passed")
        << "rules left behind must let traffic through";
    startExtension();
    EXPECT_EQ(firewallRules().find("TARNWICK"), std::string::npos);
}

}  // namespace
}  // namespace tarnwick::testing
