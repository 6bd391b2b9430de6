// A local user who holds many descriptors and connects from sockets no process holds, against
// the real extension in network namespaces of the test's own. Needs root; skipped elsewhere.

#include "ExtensionProcess.h"
#include "FilterExtension/IPCConnection.h"
#include "Foundation/Bundle.h"
#include "NetworkSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

constexpr uid_t kDesktopUser = 4242;
constexpr uid_t kHoarder = 4343;
constexpr uid_t kBystander = 4444;
constexpr std::uint16_t kTcpPort = 7000;
constexpr auto kWait = 10s;
const char* const kServer = NetworkSandbox::kServerAddress;

class OwnerLookupSystem : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_sandbox = std::make_unique<NetworkSandbox>();
        m_tcpServer = SocketServer::tcpPong(m_sandbox->serverNamespace(), kServer, kTcpPort);
        m_service = IPCConnection::machServiceName(Bundle(TARNWICK_EXTENSION_BUNDLE));
        startExtension();
    }

    int client() const { return m_sandbox->clientNamespace(); }

    void startExtension() {
        m_extension = testing::startExtension(TARNWICK_FILTER_EXTENSION, client(), m_service,
                                              kDesktopUser, testing::kStartWait);
        ASSERT_TRUE(m_extension) << "the extension did not start listening";
        ASSERT_EQ(setFilterEnabled(*m_extension, true, kWait), std::nullopt);
    }

    // The application, answering every flow with `answer`.
    std::unique_ptr<ChildProcess> startPeer(const std::string& answer) {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.mountNamespaceOf = m_extension->pid();
        options.user = kDesktopUser;
        auto peer = std::make_unique<ChildProcess>(
            std::vector<std::string>{TARNWICK_TEST_PEER, "--service", m_service, "--answer", answer,
                                     "--quiet"},
            options);
        EXPECT_EQ(peer->readLine(kWait), "registered true");
        return peer;
    }

    // Connections to the server from sockets no process holds, as `user`.
    std::unique_ptr<ChildProcess> startConnector(uid_t user, std::vector<std::string> extra) {
        std::vector<std::string> arguments{TARNWICK_UNOWNED_CONNECTOR, "--connect",
                                           std::string(kServer) + ":" + std::to_string(kTcpPort)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.user = user;
        return std::make_unique<ChildProcess>(arguments, options);
    }

    std::unique_ptr<NetworkSandbox> m_sandbox;
    std::unique_ptr<SocketServer> m_tcpServer;
    std::unique_ptr<ChildProcess> m_extension;
    std::string m_service;
};

TEST_F(OwnerLookupSystem, ManyDescriptorsAndUnownedSocketsDoNotDelayOtherUsersVerdicts) {
    constexpr long kHeld = 40000;
    auto peer = startPeer("allow");
    // This process's connections are known before the other user starts.
    ASSERT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "passed");
    auto hoarder = startConnector(kHoarder, {"--hold", std::to_string(kHeld), "--rate", "40"});
    ASSERT_EQ(hoarder->readLine(kWait), "holding " + std::to_string(kHeld));
    std::this_thread::sleep_for(1s);  // its connections are under way

    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "passed");
        // Not a speed goal: a packet thread that reads every descriptor for each of the other
        // user's connections takes seconds here.
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    }
}

TEST_F(OwnerLookupSystem, FlowsOfUnknownProcessesCountAgainstTheirUser) {
    auto peer = startPeer("hold");
    // More than one user may have waiting at once (512), and more than one process may (256).
    auto hoarder =
        startConnector(kHoarder, {"--count", "600", "--rate", "2000", "--settle", "2000"});
    ASSERT_EQ(hoarder->readLine(kWait), "holding 0");
    ASSERT_EQ(hoarder->readLine(kWait), "sent 600");
    EXPECT_EQ(hoarder->readLine(kWait), "refused 88 waiting 512 passed 0");

    // Another user's socket that no process holds waits for its answer like any other.
    auto bystander = startConnector(kBystander, {"--count", "1", "--settle", "1000"});
    ASSERT_EQ(bystander->readLine(kWait), "holding 0");
    ASSERT_EQ(bystander->readLine(kWait), "sent 1");
    EXPECT_EQ(bystander->readLine(kWait), "refused 0 waiting 1 passed 0");
}

}  // namespace
}  // namespace tarnwick::testing
