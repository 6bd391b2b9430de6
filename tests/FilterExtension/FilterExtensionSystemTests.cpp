// The real extension in network namespaces of the test's own, with a real peer process playing
// the application. Needs root; skipped elsewhere.

#include "Dispatch/WorkerPool.h"
#include "ExtensionSystemTest.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "NetworkExtension/Provider/FirewallRules.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

constexpr uid_t kOtherUser = 4343;
constexpr std::uint16_t kTcpPort = 7000;
constexpr std::uint16_t kUdpPort = 7001;
const char* const kServer = NetworkSandbox::kServerAddress;

class FilterExtensionSystem : public ExtensionSystemTest {
protected:
    void SetUp() override {
        ExtensionSystemTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_tcpServer = SocketServer::tcpPong(m_sandbox->serverNamespace(), kServer, kTcpPort);
        m_udpServer = SocketServer::udpEcho(m_sandbox->serverNamespace(), kServer, kUdpPort);
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

    // A line of the extension's /proc status ("Threads", "VmRSS"), as a number.
    long status(const std::string& field) const {
        std::ifstream file("/proc/" + std::to_string(m_extension->pid()) + "/status");
        std::string line;
        while (std::getline(file, line)) {
            if (line.rfind(field + ":", 0) == 0) {
                return std::stol(line.substr(field.size() + 1));
            }
        }
        return -1;
    }

    // The extension's threads but the shared worker pool's, told apart by name.
    long threadsOutsideThePool() const {
        long count = 0;
        const auto tasks = "/proc/" + std::to_string(m_extension->pid()) + "/task";
        for (const auto& task : std::filesystem::directory_iterator(tasks)) {
            std::ifstream comm(task.path() / "comm");
            std::string name;
            std::getline(comm, name);
            count += name != WorkerPool::kThreadName ? 1 : 0;
        }
        return count;
    }

    // CPU time the extension has used, in clock ticks.
    long cpuTicks() const {
        std::ifstream file("/proc/" + std::to_string(m_extension->pid()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        long user = 0;
        long system = 0;
        for (int index = 3; fields >> field; ++index) {
            if (index == 14) {
                user = std::stol(field);
            } else if (index == 15) {
                system = std::stol(field);
                break;
            }
        }
        return user + system;
    }

    std::unique_ptr<SocketServer> m_tcpServer;
    std::unique_ptr<SocketServer> m_udpServer;
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
    // Only the instance lock stays: removing it could let two instances lock two files.
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().filename(), ".lock") << "service sockets are removed";
    }

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

// The status the application's watchdog asks for: the real rules and the real queue binding, and
// a filter whose rules someone removed is reported as broken.
TEST_F(FilterExtensionSystem, StatusReportsTheRulesAndTheQueueOfTheRunningFilter) {
    startExtension();
    auto manager =
        FilterManagerClient::createForSocketPath(runFolderOf(*m_extension) / "filter-manager");
    const auto status = [&]() -> std::optional<FilterStatus> {
        auto done = std::make_shared<std::promise<std::optional<FilterStatus>>>();
        auto result = done->get_future();
        manager->fetchStatus(
            [done](const std::optional<FilterStatus>& answer, const std::optional<std::string>&) {
                done->set_value(answer);
            });
        if (result.wait_for(kWait) != std::future_status::ready) {
            return std::nullopt;
        }
        return result.get();
    };
    EXPECT_EQ(status(), FilterStatus{}) << "off as configured";

    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    const auto working = status();
    ASSERT_TRUE(working);
    EXPECT_TRUE(working->isSound()) << working->fault();
    EXPECT_TRUE(working->running && working->rulesInPlace && working->queueBound);

    ASSERT_EQ(NetworkSandbox::runIn(
                  client(), {"/usr/sbin/iptables", "-w", "5", "-D", "OUTPUT", "-j", "TARNWICK-OUT"})
                  .status,
              0);
    const auto broken = status();
    ASSERT_TRUE(broken);
    EXPECT_FALSE(broken->rulesInPlace);
    EXPECT_TRUE(broken->queueBound);
    EXPECT_NE(broken->fault().find("OUTPUT"), std::string::npos) << broken->fault();
    ASSERT_EQ(setFilterEnabled(false), std::nullopt);
}

TEST_F(FilterExtensionSystem, AnAnswerAppliesToItsOwnConnectionOnly) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    constexpr std::uint16_t kLocalPort = 45123;
    {
        auto allowing = startPeer("allow");
        ASSERT_EQ(allowing->readLine(kWait), "registered true");
        EXPECT_EQ(outcomeName(finishTcpExchange(
                      startTcpConnection(client(), kServer, kTcpPort, kLocalPort), kWait)),
                  "passed");
        ASSERT_TRUE(allowing->readLineStartingWith("prompt ", kWait));
    }
    // The application now denies: a new connection from the same port is asked, not waved
    // through on the earlier answer.
    auto denying = startPeer("deny");
    ASSERT_EQ(denying->readLine(kWait), "registered true");
    EXPECT_EQ(outcomeName(finishTcpExchange(
                  startTcpConnection(client(), kServer, kTcpPort, kLocalPort), kWait)),
              "refused");
    EXPECT_TRUE(denying->readLineStartingWith("prompt ", kWait));
}

TEST_F(FilterExtensionSystem, WaitingFlowsAreBoundedAndNothingPassesUnasked) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("hold", kDesktopUser, {"--quiet"});
    ASSERT_EQ(peer->readLine(kWait), "registered true");

    // One process opens more connections than it may have waiting at once.
    constexpr int kConnections = 300;
    constexpr int kHeldPerProcess = 256;
    std::vector<pollfd> sockets;
    for (int i = 0; i < kConnections; ++i) {
        sockets.push_back({startTcpConnection(client(), kServer, kTcpPort), POLLOUT, 0});
    }
    int refused = 0;
    int passed = 0;
    waitUntil(
        [&] {
            ::poll(sockets.data(), sockets.size(), 0);
            for (auto& socket : sockets) {
                if (socket.fd >= 0 && socket.revents != 0) {
                    int error = 0;
                    socklen_t length = sizeof(error);
                    ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length);
                    (error == ECONNREFUSED ? refused : error == 0 ? passed : refused)++;
                    ::close(socket.fd);
                    socket.fd = -1;
                }
            }
            return refused + passed >= kConnections - kHeldPerProcess;
        },
        kWait);
    EXPECT_EQ(passed, 0) << "no connection passes without an answer";
    EXPECT_EQ(refused, kConnections - kHeldPerProcess);
    for (const auto& socket : sockets) {
        if (socket.fd >= 0) {
            ::close(socket.fd);
        }
    }
}

TEST_F(FilterExtensionSystem, StoppingLetsHeldFlowsThroughWithoutLoss) {
    for (const bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "the extension is stopped" : "the filter is switched off");
        startExtension();
        ASSERT_EQ(setFilterEnabled(true), std::nullopt);
        auto peer = startPeer("hold");
        ASSERT_EQ(peer->readLine(kWait), "registered true");

        std::vector<int> datagrams;
        for (int i = 0; i < 3; ++i) {
            datagrams.push_back(startUdpExchange(client(), kServer, kUdpPort));
        }
        const int connection = startTcpConnection(client(), kServer, kTcpPort);
        ASSERT_EQ(prompts(*peer, 4).size(), 4u);
        if (bySignal) {
            EXPECT_TRUE(m_extension->stop(SIGTERM, kWait)) << "the extension did not end";
        } else {
            ASSERT_EQ(setFilterEnabled(false), std::nullopt);
        }
        for (const int datagram : datagrams) {
            EXPECT_EQ(outcomeName(finishUdpExchange(datagram, kWait)), "passed")
                << "a held datagram is delivered when the filter stops";
        }
        EXPECT_EQ(outcomeName(finishTcpExchange(connection, kWait)), "passed");
        peer.reset();
        m_extension.reset();
    }
}

TEST_F(FilterExtensionSystem, AClientThatNeverRegistersDoesNotTakeOver) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("deny");
    ASSERT_EQ(peer->readLine(kWait), "registered true");
    auto idle = startPeer("deny", kDesktopUser, {"--idle", "1"});
    ASSERT_EQ(idle->readLine(kWait), "idle 1");

    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused")
        << "the registered application still decides";
}

TEST_F(FilterExtensionSystem, IdleClientsCostABoundedNumberOfThreads) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("deny");
    ASSERT_EQ(peer->readLine(kWait), "registered true");
    const long threadsBefore = status("Threads");

    // Idle clients of both services, each holding half a frame: as many as each keeps (8 that
    // have not registered, 16 filter-manager clients) and more. While they are held, the threads
    // beside the queues' worker pool (which may grow for a moment as clients are accepted or
    // refused, and whose idle workers stay a while) stay as they were; a thread per held client
    // would add at least 24.
    const long ownThreadsBefore = threadsOutsideThePool();
    auto idle = startPeer("deny", kDesktopUser, {"--idle", "100"});
    auto idleManagers =
        startPeer("deny", kDesktopUser, {"--service", "filter-manager", "--idle", "16"});
    ASSERT_TRUE(idle->readLineStartingWith("idle ", kWait));
    ASSERT_TRUE(idleManagers->readLineStartingWith("idle ", kWait));
    // A worker the pool starts this moment carries its creator's name until it names itself, so
    // the fewest seen over half a second counts; threads per held client would stay all along.
    long fewest = threadsOutsideThePool();
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(50ms);
        fewest = std::min(fewest, threadsOutsideThePool());
    }
    EXPECT_LT(fewest, ownThreadsBefore + 4) << "a thread per idle client: " << status("Threads")
                                            << " threads, " << threadsBefore << " before";
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "refused")
        << "the registered application is still served";
}

TEST_F(FilterExtensionSystem, FlowCostDoesNotGrowWithTheSocketsAProcessHolds) {
    rlimit files{20000, 20000};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("allow", kDesktopUser, {"--quiet"});
    ASSERT_EQ(peer->readLine(kWait), "registered true");

    // CPU time for a run of connections, each kept open so the next comes under a new number.
    std::vector<int> held;
    const auto connections = [&] {
        const long before = cpuTicks();
        for (int i = 0; i < 300; ++i) {
            const int connection = startTcpConnection(client(), kServer, kTcpPort);
            EXPECT_EQ(outcomeName(finishTcpExchange(connection, kWait, true)), "passed");
            held.push_back(connection);
        }
        return static_cast<double>(cpuTicks() - before) /
               static_cast<double>(::sysconf(_SC_CLK_TCK));
    };
    const double few = connections();
    for (int i = 0; i < 10000; ++i) {
        held.push_back(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    }
    const double many = connections();
    for (const int fd : held) {
        ::close(fd);
    }
    // Reading every descriptor of this process for each flow costs ten times as much here.
    EXPECT_LT(many, 2 * few + 0.5) << "CPU seconds for 300 flows: " << few << " from a process "
                                   << "with few sockets, " << many << " with 10,000 more";
}

TEST_F(FilterExtensionSystem, ManyConnectionsAtOnceGetOneVerdictEach) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    constexpr int kConnectors = 24;
    constexpr int kEach = 25;
    constexpr int kConnections = kConnectors * kEach;
    for (const std::string answer : {"allow", "deny"}) {
        SCOPED_TRACE(answer);
        auto peer = startPeer(answer);
        ASSERT_EQ(peer->readLine(kWait), "registered true");
        std::atomic<int> passed = 0;
        std::atomic<int> refused = 0;
        std::atomic<int> other = 0;
        // Read as they come, so the peer never waits on a full pipe.
        auto asked = std::async(std::launch::async, [&] { return prompts(*peer, kConnections); });
        {
            std::vector<std::jthread> connectors;
            for (int i = 0; i < kConnectors; ++i) {
                connectors.emplace_back([&] {
                    for (int j = 0; j < kEach; ++j) {
                        const Outcome outcome = tcpExchange(client(), kServer, kTcpPort, kWait);
                        (outcome == Outcome::passed    ? passed
                         : outcome == Outcome::refused ? refused
                                                       : other)++;
                    }
                });
            }
        }
        EXPECT_EQ(answer == "allow" ? passed.load() : refused.load(), kConnections)
            << "passed " << passed << ", refused " << refused << ", other " << other;
        // One question per connection: none left unasked, none asked twice.
        EXPECT_EQ(asked.get().size(), static_cast<std::size_t>(kConnections));
        EXPECT_FALSE(peer->readLineStartingWith("prompt ", 500ms));
    }
    // Nothing is left in the kernel's queue, and nothing was dropped there.
    std::istringstream queues(
        NetworkSandbox::runIn(client(), {"/usr/bin/cat", "/proc/net/netfilter/nfnetlink_queue"})
            .output);
    bool seen = false;
    for (std::string line; std::getline(queues, line);) {
        unsigned number = 0, port = 0, total = 0, mode = 0, range = 0, dropped = 0, userDropped = 0;
        if (std::sscanf(line.c_str(), "%u %u %u %u %u %u %u", &number, &port, &total, &mode, &range,
                        &dropped, &userDropped) == 7 &&
            number == FirewallRules::Settings{}.flowQueue) {
            seen = true;
            EXPECT_EQ(total, 0u) << line;
            EXPECT_EQ(dropped, 0u) << line;
            EXPECT_EQ(userDropped, 0u) << line;
        }
    }
    EXPECT_TRUE(seen) << "the flow queue is not bound";
}

TEST_F(FilterExtensionSystem, AnAnswerListingThousandsOfAddressesNamesOnlyTheFirstFew) {
    // The server's address comes after 1,000 others in the answer.
    auto resolver = SocketServer::dns(m_sandbox->serverNamespace(), kServer, kServer, 1000);
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    auto peer = startPeer("allow");
    ASSERT_EQ(peer->readLine(kWait), "registered true");

    EXPECT_EQ(resolve(client(), kServer, "many.tarnwick.test", kWait), kServer);
    EXPECT_EQ(outcomeName(tcpExchange(client(), kServer, kTcpPort, kWait)), "passed");
    const auto seen = prompts(*peer, 2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1]["remoteAddress"], kServer);
    EXPECT_EQ(seen[1]["aza"], "") << "addresses past the cap are not recorded";
}

}  // namespace
}  // namespace tarnwick::testing
