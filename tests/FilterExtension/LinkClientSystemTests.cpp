// What a local user can do to the extension through its sockets: connect without registering,
// flood the application's service, sit idle on the filter manager's, start a second instance, or
// race the start. The real extension in network namespaces of the test's own, with real peer
// processes of another user. Needs root; skipped elsewhere.

#include "ExtensionSystemTest.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

constexpr std::uint16_t kTcpPort = 7000;
const char* const kServer = NetworkSandbox::kServerAddress;

bool acceptsConnections(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof(address.sun_path) - 1);
    const FileDescriptor probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) ==
           0;
}

class LinkClientSystem : public ExtensionSystemTest {
protected:
    void SetUp() override {
        ExtensionSystemTest::SetUp();
        if (!IsSkipped()) {
            m_server = SocketServer::tcpPong(m_sandbox->serverNamespace(), kServer, kTcpPort);
        }
    }

    std::unique_ptr<ChildProcess> startPeer(const std::string& answer,
                                            std::vector<std::string> extra = {}) {
        return ExtensionSystemTest::startPeer(answer, kDesktopUser, std::move(extra));
    }

    // The test peer run by the desktop user from a copy of its own: the same bytes as the
    // application's program, but not its file, as any program of the user's would be.
    std::unique_ptr<ChildProcess> startCopiedPeer(const std::string& answer,
                                                  std::vector<std::string> extra = {}) {
        const auto copy = m_userFolder.path() / "peer";
        if (!std::filesystem::exists(copy)) {
            std::filesystem::copy_file(TARNWICK_TEST_PEER, copy);
            EXPECT_EQ(::chmod(m_userFolder.path().c_str(), 0755), 0);
            EXPECT_EQ(::chown(m_userFolder.path().c_str(), kDesktopUser, kDesktopUser), 0);
            EXPECT_EQ(::chown(copy.c_str(), kDesktopUser, kDesktopUser), 0);
        }
        return ExtensionSystemTest::startPeer(answer, kDesktopUser, std::move(extra),
                                              copy.string());
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

    std::unique_ptr<SocketServer> m_server;
    TemporaryDirectory m_userFolder;
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
    // Connections that never register, opened again as soon as they are closed, by other
    // programs of the desktop user: from one process and from several, and one each from many.
    struct Case {
        const char* name;
        std::vector<int> connectionsPerProcess;
    };
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    for (const auto& row : std::vector<Case>{
             {"40 from one process and 10 from each of four", {40, 10, 10, 10, 10}},
             {"one from each of 30 processes", std::vector<int>(30, 1)},
         }) {
        SCOPED_TRACE(row.name);
        std::vector<std::unique_ptr<ChildProcess>> floods;
        for (const int connections : row.connectionsPerProcess) {
            floods.push_back(startCopiedPeer("allow", {"--flood", std::to_string(connections)}));
        }
        for (const auto& flood : floods) {
            ASSERT_EQ(flood->readLine(kWait), "flooding");
        }
        for (int attempt = 0; attempt < 6; ++attempt) {
            SCOPED_TRACE("application start " + std::to_string(attempt));
            auto application = startPeer("deny");
            EXPECT_EQ(application->readLine(kWait), "registered true");
        }
        auto application = startPeer("deny");
        ASSERT_EQ(application->readLine(kWait), "registered true");
        EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused")
            << "the application decides";
    }
}

TEST_F(LinkClientSystem, OnlyTheApplicationsProgramMayRegister) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    // No application yet: the impostor's refusal leaves every connection passing, its own too.
    const std::string target = std::string(kServer) + ":" + std::to_string(kTcpPort);
    auto impostor = startCopiedPeer("allow", {"--connect", target});
    ASSERT_EQ(impostor->readLine(kWait), "registered false");
    EXPECT_EQ(impostor->readLine(kWait), "connected");

    auto application = startPeer("deny");
    ASSERT_EQ(application->readLine(kWait), "registered true");
    auto another = startCopiedPeer("allow", {"--connect", target});
    ASSERT_EQ(another->readLine(kWait), "registered false");
    EXPECT_EQ(another->readLine(kWait), "connect-failed " + std::to_string(ECONNREFUSED))
        << "the refused process is asked about like any other, and the application said no";
    EXPECT_TRUE(application->readLineStartingWith("prompt ", kWait));
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused")
        << "the application still decides";
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

// Long: fifteen starts and stops of the extension, since the gap between its two services is
// short enough to be hit only on some of them.
TEST_F(LinkClientSystem, AnApplicationThatReachedTheFilterManagerFindsItsServiceAndCanSwitchOn) {
    // An application started with the extension loads the configuration as soon as the filter
    // manager answers, then registers at once; a switch right after a start must work too.
    for (int start = 0; start < 15; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        m_extension = launchExtension();
        // Asked without a pause, as the gap between the two services may be short.
        const auto manager = runFolder() / "filter-manager";
        const auto deadline = std::chrono::steady_clock::now() + kStartWait;
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
